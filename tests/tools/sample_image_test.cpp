// The built-in sample: a dark night scene full of small bright lights of several colours, the same on
// every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "tools/aperlume/sample_image.h"

namespace aperlume::tool {
namespace {

struct Pixel {
    std::uint32_t r, g, b;
};

Pixel At(const ToolImage& image, int row, int column) {
    const std::uint8_t* p = image.samples.data() + (static_cast<std::size_t>(row) * kSampleWidth + column) * 3;
    return {p[0], p[1], p[2]};
}

bool Bright(const Pixel& p) { return std::max({p.r, p.g, p.b}) >= 200; }

TEST(SampleImage, IsAnEightBitRgbImageOfTheAnnouncedSize) {
    const ToolImage image = BuildSampleImage();
    EXPECT_EQ(image.width, kSampleWidth);
    EXPECT_EQ(image.height, kSampleHeight);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.bitDepth, 8);
    EXPECT_EQ(image.samples.size(), static_cast<std::size_t>(kSampleWidth * kSampleHeight * 3));
}

TEST(SampleImage, IsTheSameEveryTime) { EXPECT_EQ(BuildSampleImage().samples, BuildSampleImage().samples); }

TEST(SampleImage, IsMostlyDarkWithAGradientSky) {
    const ToolImage image = BuildSampleImage();
    std::size_t dark = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Pixel p = At(image, y, x);
            if (p.r + p.g + p.b < 120) ++dark;
        }
    EXPECT_GT(dark, static_cast<std::size_t>(image.width * image.height) * 8 / 10);
    // The sky brightens from the top towards the horizon (no building reaches above row 90).
    const Pixel top = At(image, 0, 5);
    const Pixel lower = At(image, 80, 5);
    EXPECT_LT(top.r + top.g + top.b, lower.r + lower.g + lower.b);
    EXPECT_LT(top.r + top.g + top.b, 60u);
}

TEST(SampleImage, HasManySmallBrightLightsOfSeveralColours) {
    const ToolImage image = BuildSampleImage();
    const int width = image.width, height = image.height;
    std::vector<int> label(static_cast<std::size_t>(width * height), 0);
    int lights = 0, small = 0;
    std::array<bool, 4> hues{};  // white, red, green, blue dominant
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (label[static_cast<std::size_t>(y * width + x)] != 0 || !Bright(At(image, y, x))) continue;
            // Flood the 4-connected bright spot from here and measure it.
            ++lights;
            std::vector<std::pair<int, int>> stack{{y, x}};
            label[static_cast<std::size_t>(y * width + x)] = lights;
            int size = 0;
            while (!stack.empty()) {
                auto [cy, cx] = stack.back();
                stack.pop_back();
                ++size;
                const Pixel p = At(image, cy, cx);
                if (p.r >= 200 && p.g >= 200 && p.b >= 200) hues[0] = true;
                else if (p.r >= 200 && p.g < 100 && p.b < 100) hues[1] = true;
                else if (p.g >= 200 && p.r < 160 && p.b < 200) hues[2] = true;
                else if (p.b >= 200 && p.r < 200) hues[3] = true;
                const int neighbours[4][2] = {{cy - 1, cx}, {cy + 1, cx}, {cy, cx - 1}, {cy, cx + 1}};
                for (const auto& n : neighbours) {
                    if (n[0] < 0 || n[1] < 0 || n[0] >= height || n[1] >= width) continue;
                    int& l = label[static_cast<std::size_t>(n[0] * width + n[1])];
                    if (l == 0 && Bright(At(image, n[0], n[1]))) {
                        l = lights;
                        stack.push_back({n[0], n[1]});
                    }
                }
            }
            if (size <= 30) ++small;
        }
    EXPECT_GT(lights, 150);
    EXPECT_GT(small, 120);
    EXPECT_TRUE(hues[0] && hues[1] && hues[2] && hues[3]);
}

}  // namespace
}  // namespace aperlume::tool
