// File images to host images and back: modes and planes for every channel count, the 16-bit range
// mapping with its rounding, and selections from gray files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/raster_image.h"

namespace aperlume::tool {
namespace {

using testing::PatternRaster;

TEST(RasterImage, SixteenBitValuesMapToTheHostRangeWithRounding) {
    EXPECT_EQ(HostFromFile16(0), 0);
    EXPECT_EQ(HostFromFile16(65535), 32768);
    EXPECT_EQ(HostFromFile16(1), 1);      // 0.50001 rounds up
    EXPECT_EQ(HostFromFile16(32767), 16384);  // 16383.75
    EXPECT_EQ(HostFromFile16(3), 2);      // 1.50002
    EXPECT_EQ(FileFromHost16(0), 0);
    EXPECT_EQ(FileFromHost16(32768), 65535);
    EXPECT_EQ(FileFromHost16(40000), 65535);  // beyond the host's range saturates
    EXPECT_EQ(FileFromHost16(16384), 32768);  // 32767.5 rounds up
    EXPECT_EQ(FileFromHost16(1), 2);          // 1.99997
}

TEST(RasterImage, EveryHostValueSurvivesTheTripThroughSixteenBitFiles) {
    for (std::uint32_t host = 0; host <= 32768; ++host)
        ASSERT_EQ(HostFromFile16(FileFromHost16(host)), host) << host;
    // And every file value comes back within the host's resolution (one host step is two file steps).
    for (std::uint32_t file = 0; file <= 65535; ++file) {
        const int back = FileFromHost16(HostFromFile16(static_cast<std::uint16_t>(file)));
        ASSERT_LE(std::abs(back - static_cast<int>(file)), 1) << file;
    }
}

TEST(RasterImage, ChannelCountsChooseModeAndPlanes) {
    struct Case {
        std::int32_t channels, bitDepth;
        std::int16_t mode;
    };
    const Case cases[] = {{1, 8, kModeGrayScale}, {2, 8, kModeGrayScale}, {3, 8, kModeRGB},   {4, 8, kModeRGB},
                          {1, 16, kModeGray16},   {2, 16, kModeGray16},   {3, 16, kModeRGB48}, {4, 16, kModeRGB48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.channels << " channels, " << c.bitDepth << " bits");
        const RasterImage raster = PatternRaster(5, 3, c.channels, c.bitDepth);
        const testhost::HostImage image = ToHostImage(raster);
        EXPECT_EQ(image.imageMode, c.mode);
        EXPECT_EQ(image.planes, c.channels);
        EXPECT_EQ(image.width, 5);
        EXPECT_EQ(image.height, 3);
        // Sample (row 2, column 4, last plane) sits where the raster has it.
        const std::size_t at = static_cast<std::size_t>((2 * 5 + 4) * c.channels + c.channels - 1);
        const std::uint32_t expected =
            c.bitDepth == 16 ? HostFromFile16(raster.samples[at]) : raster.samples[at];
        EXPECT_EQ(image.Sample(2, 4, c.channels - 1), expected);
        const RasterImage back = FromHostImage(image);
        EXPECT_EQ(back.channels, c.channels);
        EXPECT_EQ(back.bitDepth, c.bitDepth);
        if (c.bitDepth == 8) {
            EXPECT_EQ(back.samples, raster.samples);
        } else {
            for (std::size_t i = 0; i < raster.samples.size(); ++i)
                ASSERT_LE(std::abs(back.samples[i] - raster.samples[i]), 1) << i;
        }
    }
}

TEST(RasterImage, GeometryIsCheckedBeforeAnyBuffer) {
    EXPECT_TRUE(CheckRasterGeometry(1, 1, 1, 8, "x.png").ok());
    EXPECT_TRUE(CheckRasterGeometry(kMaxImageSide, 2, 4, 16, "x.png").ok());
    EXPECT_NE(CheckRasterGeometry(kMaxImageSide + 1, 2, 3, 8, "x.png").message.find("at most 32767"),
              std::string::npos);
    EXPECT_NE(CheckRasterGeometry(2, 40000, 3, 8, "x.png").message.find("x.png"), std::string::npos);
    EXPECT_FALSE(CheckRasterGeometry(0, 5, 3, 8, "x.png").ok());
    EXPECT_FALSE(CheckRasterGeometry(5, 5, 5, 8, "x.png").ok());
    EXPECT_FALSE(CheckRasterGeometry(5, 5, 3, 4, "x.png").ok());
}

TEST(RasterImage, SelectionComesFromAGrayFileOfTheImageSize) {
    RasterImage gray = PatternRaster(4, 3, 1, 8);
    std::vector<std::uint8_t> selection;
    ASSERT_TRUE(SelectionFromRaster(gray, 4, 3, "m.png", selection).ok());
    ASSERT_EQ(selection.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(selection[i], gray.samples[i]);

    RasterImage deep = PatternRaster(2, 1, 1, 16);
    deep.samples = {65535, 32896 - 128};  // 32768 * 255 / 65535 = 127.5 rounds up
    ASSERT_TRUE(SelectionFromRaster(deep, 2, 1, "m.png", selection).ok());
    EXPECT_EQ(selection[0], 255);
    EXPECT_EQ(selection[1], 128);

    const std::string wrongSize = SelectionFromRaster(gray, 3, 4, "m.png", selection).message;
    EXPECT_NE(wrongSize.find("4x3"), std::string::npos) << wrongSize;
    EXPECT_NE(wrongSize.find("3x4"), std::string::npos) << wrongSize;
    EXPECT_NE(SelectionFromRaster(PatternRaster(4, 3, 3, 8), 4, 3, "m.png", selection).message.find("grayscale"),
              std::string::npos);
    EXPECT_FALSE(SelectionFromRaster(PatternRaster(4, 3, 2, 8), 4, 3, "m.png", selection).ok());
}

}  // namespace
}  // namespace aperlume::tool
