// PNG files through GDI+ in the Windows build: 8-bit colour files survive a round trip, gray files come
// back as the same gray (written as RGB), and 16-bit files are refused with a clear message.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/png_bytes.h"
#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/png_io.h"

namespace aperlume::tool {
namespace {

using PngIoWindows = testing::TemporaryFolderTest;
using testing::PatternRaster;

TEST_F(PngIoWindows, EightBitColourFilesSurviveARoundTrip) {
    for (std::int32_t channels : {3, 4}) {
        SCOPED_TRACE(channels);
        RasterImage image = PatternRaster(13, 7, channels, 8);
        if (channels == 4)  // GDI+ keeps colour exactly only where a pixel is not fully transparent
            for (std::size_t p = 0; p < 13 * 7; ++p) image.samples[p * 4 + 3] |= 1;
        ASSERT_TRUE(WritePng(Path("round.png"), image).ok());
        RasterImage back;
        ToolStatus status = ReadPng(Path("round.png"), back);
        ASSERT_TRUE(status.ok()) << status.message;
        EXPECT_EQ(back.width, 13);
        EXPECT_EQ(back.height, 7);
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(back.bitDepth, 8);
        EXPECT_EQ(back.samples, image.samples);
    }
}

TEST_F(PngIoWindows, GrayIsWrittenAsRgbOfTheSameValues) {
    const RasterImage gray = PatternRaster(9, 5, 1, 8);
    ASSERT_TRUE(WritePng(Path("gray.png"), gray).ok());
    RasterImage back;
    ASSERT_TRUE(ReadPng(Path("gray.png"), back).ok());
    ASSERT_EQ(back.channels, 3);
    for (std::size_t p = 0; p < gray.samples.size(); ++p)
        for (std::size_t c = 0; c < 3; ++c) ASSERT_EQ(back.samples[p * 3 + c], gray.samples[p]) << p;
}

TEST_F(PngIoWindows, SixteenBitFilesAreRefused) {
    const std::string message = WritePng(Path("deep.png"), PatternRaster(4, 4, 3, 16)).message;
    EXPECT_NE(message.find("8-bit PNG files only"), std::string::npos) << message;
    // A file whose header says 16 bits is refused before GDI+ would cut it to 8.
    testing::WriteBytes(Path("deep16.png"), testing::PngFile({{"IHDR", testing::ImageHeader(4, 4, 16, 2)},
                                                              {"IDAT", testing::ImageData(4, 24, 0)},
                                                              {"IEND", {}}}));
    RasterImage image;
    const std::string read = ReadPng(Path("deep16.png"), image).message;
    EXPECT_NE(read.find("16-bit"), std::string::npos) << read;
}

}  // namespace
}  // namespace aperlume::tool
