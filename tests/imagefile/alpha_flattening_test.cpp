// Flattening alpha onto a colour: every pixel of pseudo-random images of both depths, gray and colour,
// against the compositing formula in real arithmetic (a pixel's colour over the background by its alpha).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/imagefile/image_test_support.h"
#include "tools/imagefile/alpha_flattening.h"

namespace aperlume::tool {
namespace {

using testing::SampleAt;

TEST(AlphaFlattening, EveryPixelIsItsColourOverTheBackgroundByItsAlpha) {
    const RgbColour background{200, 30, 90};
    for (std::int32_t bitDepth : {8, 16})
        for (std::int32_t channels : {2, 4}) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bitDepth << " bits");
            const double full = bitDepth == 16 ? 32768.0 : 255.0;
            ToolImage image = testing::PatternImage(61, 37, channels, bitDepth);
            const auto step = static_cast<std::size_t>(channels);
            const auto alphaAt = [&](std::size_t pixel) { return pixel * step + step - 1; };
            testing::SetSampleAt(image, alphaAt(0), static_cast<std::uint32_t>(full));  // opaque
            testing::SetSampleAt(image, alphaAt(1), 0);                                  // transparent
            ToolImage flat = image;
            FlattenAlpha(flat, background);
            ASSERT_EQ(flat.channels, channels - 1);
            ASSERT_EQ(flat.samples.size(), flat.RowBytes() * 37);
            const double rgb[3] = {background.red * full / 255, background.green * full / 255,
                                   background.blue * full / 255};
            const double luma = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
            const std::size_t colours = step - 1;
            for (std::size_t p = 0; p < 61 * 37; ++p)
                for (std::size_t c = 0; c < colours; ++c) {
                    const double alpha = SampleAt(image, alphaAt(p)) / full;
                    const double value = SampleAt(image, p * step + c);
                    const double expected = value * alpha + (colours == 1 ? luma : rgb[c]) * (1 - alpha);
                    // Rounded to the nearest, and the background is rounded into the range first.
                    ASSERT_LE(std::abs(SampleAt(flat, p * colours + c) - expected), 1.0) << "pixel " << p << ", " << c;
                }
            for (std::size_t c = 0; c < colours; ++c) {
                EXPECT_EQ(SampleAt(flat, c), SampleAt(image, c)) << "an opaque pixel keeps its colour";
                EXPECT_LE(std::abs(SampleAt(flat, colours + c) - (colours == 1 ? luma : rgb[c])), 0.5)
                    << "a transparent one takes the background";
            }
        }
    ToolImage opaque = testing::PatternImage(5, 3, 3, 8);
    const ToolImage before = opaque;
    FlattenAlpha(opaque, background);
    EXPECT_EQ(opaque.samples, before.samples);
    EXPECT_EQ(opaque.channels, 3);
}

}  // namespace
}  // namespace aperlume::tool
