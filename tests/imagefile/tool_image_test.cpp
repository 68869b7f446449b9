// The tools' image: the 16-bit range mapping with its rounding, the row size for every channel count,
// the geometry check and row growth.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {
namespace {

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

TEST(ToolImage, RowsHoldEveryChannelAtItsDepth) {
    for (std::int32_t channels = 1; channels <= 4; ++channels)
        for (std::int32_t bitDepth : {8, 16}) {
            const ToolImage image = EmptyToolImage(5, 3, channels, bitDepth);
            EXPECT_EQ(image.RowBytes(), static_cast<std::size_t>(5 * channels * bitDepth / 8));
            EXPECT_EQ(HasAlpha(image), channels % 2 == 0);
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

}  // namespace
}  // namespace aperlume::tool
