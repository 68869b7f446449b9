// The tool's image: the 16-bit range mapping with its rounding, modes for every channel count, the
// geometry check, row growth and selections from gray files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/tool_image.h"

namespace aperlume::tool {
namespace {

using testing::PatternImage;
using testing::SetSampleAt;

TEST(ToolImage, SixteenBitValuesMapToTheHostRangeWithRounding) {
    EXPECT_EQ(HostFromFile16(0), 0);
    EXPECT_EQ(HostFromFile16(65535), 32768);
    EXPECT_EQ(HostFromFile16(1), 1);          // 0.50001 rounds up
    EXPECT_EQ(HostFromFile16(32767), 16384);  // 16383.75
    EXPECT_EQ(HostFromFile16(3), 2);          // 1.50002
    EXPECT_EQ(FileFromHost16(0), 0);
    EXPECT_EQ(FileFromHost16(32768), 65535);
    EXPECT_EQ(FileFromHost16(40000), 65535);  // beyond the host's range saturates
    EXPECT_EQ(FileFromHost16(16384), 32768);  // 32767.5 rounds up
    EXPECT_EQ(FileFromHost16(1), 2);          // 1.99997
    EXPECT_EQ(EightFromHost16(32768), 255);
    EXPECT_EQ(EightFromHost16(64), 0);        // 0.498
    EXPECT_EQ(EightFromHost16(65), 1);        // 0.506
}

TEST(ToolImage, EveryHostValueSurvivesTheTripThroughFilesAndRowsAgreeWithValues) {
    std::vector<std::uint8_t> host;
    for (std::uint32_t value = 0; value <= 32768; ++value) {
        ASSERT_EQ(HostFromFile16(FileFromHost16(value)), value) << value;
        host.insert(host.end(), {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
    }
    // And every file value comes back within the host's resolution (one host step is two file steps).
    for (std::uint32_t file = 0; file <= 65535; ++file) {
        const int back = FileFromHost16(HostFromFile16(static_cast<std::uint16_t>(file)));
        ASSERT_LE(std::abs(back - static_cast<int>(file)), 1) << file;
    }
    std::vector<std::uint16_t> file(32769);
    std::vector<std::uint8_t> eight(32769);
    FileFromHost16Row(host.data(), file.data(), file.size());
    EightFromHost16Row(host.data(), eight.data(), eight.size());
    for (std::uint32_t value = 0; value <= 32768; value += 97) {
        EXPECT_EQ(file[value], FileFromHost16(value));
        EXPECT_EQ(eight[value], EightFromHost16(value));
    }
    HostFromFile16Row(file.data(), file.size());
    for (std::uint32_t value = 0; value <= 32768; ++value) ASSERT_EQ(file[value], value);
}

TEST(ToolImage, ChannelCountsChooseModeAndPlanes) {
    struct Case {
        std::int32_t channels, bitDepth;
        std::int16_t mode;
    };
    const Case cases[] = {{1, 8, kModeGrayScale}, {2, 8, kModeGrayScale}, {3, 8, kModeRGB},   {4, 8, kModeRGB},
                          {1, 16, kModeGray16},   {2, 16, kModeGray16},   {3, 16, kModeRGB48}, {4, 16, kModeRGB48}};
    for (const Case& c : cases) {
        const ToolImage image = EmptyToolImage(5, 3, c.channels, c.bitDepth);
        EXPECT_EQ(image.imageMode, c.mode);
        EXPECT_EQ(image.planes, c.channels);
        EXPECT_EQ(image.RowBytes(), static_cast<std::size_t>(5 * c.channels * c.bitDepth / 8));
        EXPECT_EQ(HasAlpha(image), c.channels % 2 == 0);
    }
}

TEST(ToolImage, GeometryIsCheckedBeforeAnyBuffer) {
    EXPECT_TRUE(CheckImageGeometry(1, 1, 1, 8, "x.png").ok());
    EXPECT_TRUE(CheckImageGeometry(kMaxImageSide, 2, 4, 16, "x.png").ok());
    EXPECT_NE(CheckImageGeometry(kMaxImageSide + 1, 2, 3, 8, "x.png").message.find("at most 32767"), std::string::npos);
    EXPECT_NE(CheckImageGeometry(2, 40000, 3, 8, "x.png").message.find("x.png"), std::string::npos);
    EXPECT_FALSE(CheckImageGeometry(0, 5, 3, 8, "x.png").ok());
    EXPECT_FALSE(CheckImageGeometry(5, 5, 5, 8, "x.png").ok());
    EXPECT_FALSE(CheckImageGeometry(5, 5, 3, 4, "x.png").ok());
}

TEST(ToolImage, RowsGrowWithTheRowsReachedAndKeepWhatWasWritten) {
    ToolImage image = EmptyToolImage(10, 1000, 3, 8);  // 30 bytes a row
    RowGrowth rows(image, 300);
    for (std::int32_t y = 0; y < 1000; ++y) {
        std::uint8_t* row = rows.Row(y);
        ASSERT_NE(row, nullptr);
        row[0] = static_cast<std::uint8_t>(y);
        EXPECT_EQ(image.samples.size(), static_cast<std::size_t>(y + 1) * 30);
        EXPECT_LE(image.samples.capacity(), 30000u) << "never beyond the whole image";
    }
    for (std::int32_t y = 0; y < 1000; ++y) ASSERT_EQ(image.samples[static_cast<std::size_t>(y) * 30], static_cast<std::uint8_t>(y));
    // A band of rows at once, as a strip or a tile row arrives.
    ToolImage banded = EmptyToolImage(4, 9, 1, 16);
    RowGrowth bands(banded, 0);
    const std::uint8_t* band = bands.Rows(4, 5);
    EXPECT_EQ(band, banded.samples.data() + 4 * 8);
    EXPECT_EQ(banded.samples.size(), 72u);
}

TEST(ToolImage, SelectionComesFromAFileOfTheImageSizeByItsBrightness) {
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
