// The selection from an image file: the file's brightness at the image's size, gray as it is and colour
// by its luma, alpha ignored.
#include <gtest/gtest.h>

#include "tests/imagefile/image_test_support.h"
#include "tools/aperlume/selection_image.h"

namespace aperlume::tool {
namespace {

using testing::PatternImage;
using testing::SetSampleAt;

TEST(SelectionImage, ComesFromAFileOfTheImageSizeByItsBrightness) {
    const ToolImage gray = PatternImage(4, 3, 1, 8);
    std::vector<std::uint8_t> selection;
    ASSERT_TRUE(SelectionFromImage(gray, 4, 3, "m.png", selection).ok());
    EXPECT_EQ(selection, gray.samples);

    ToolImage deep = EmptyToolImage(2, 1, 1, 16);
    deep.samples.resize(4);
    SetSampleAt(deep, 0, 65535);  // file values: selections are read with SampleRange::File
    SetSampleAt(deep, 1, 32896 - 128);  // 32768 * 255 / 65535 = 127.5 rounds up
    ASSERT_TRUE(SelectionFromImage(deep, 2, 1, "m.png", selection).ok());
    EXPECT_EQ(selection, (std::vector<std::uint8_t>{255, 128}));

    const std::string wrongSize = SelectionFromImage(gray, 3, 4, "m.png", selection).message;
    EXPECT_NE(wrongSize.find("4x3"), std::string::npos) << wrongSize;
    EXPECT_NE(wrongSize.find("3x4"), std::string::npos) << wrongSize;

    // Gray stored as gray+alpha, RGB or RGBA gives the gray's selection whatever the alpha.
    for (std::int32_t bits : {8, 16}) {
        const ToolImage plain = PatternImage(4, 3, 1, bits);
        std::vector<std::uint8_t> expected;
        ASSERT_TRUE(SelectionFromImage(plain, 4, 3, "m.png", expected).ok());
        for (std::int32_t channels : {2, 3, 4}) {
            SCOPED_TRACE(std::to_string(channels) + " channels of " + std::to_string(bits) + " bits");
            ToolImage stored = PatternImage(4, 3, channels, bits);  // alpha keeps the pattern's values
            const bool alpha = channels % 2 == 0;
            for (std::size_t p = 0; p < 12; ++p)
                for (std::int32_t c = 0; c < channels - (alpha ? 1 : 0); ++c)
                    SetSampleAt(stored, p * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c),
                                testing::SampleAt(plain, p));
            ASSERT_TRUE(SelectionFromImage(stored, 4, 3, "m.png", selection).ok());
            EXPECT_EQ(selection, expected);
        }
    }
    // Colour by its luma: 0.299 R + 0.587 G + 0.114 B.
    ToolImage primaries = EmptyToolImage(3, 1, 3, 8);
    primaries.samples = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    ASSERT_TRUE(SelectionFromImage(primaries, 3, 1, "m.png", selection).ok());
    EXPECT_EQ(selection, (std::vector<std::uint8_t>{76, 150, 29}));
}

}  // namespace
}  // namespace aperlume::tool
