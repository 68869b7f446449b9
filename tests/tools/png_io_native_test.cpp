// PNG files through libpng: every supported format survives a write and a read unchanged, and the
// formats the tool expands (palette, low bit depths, interlacing) arrive expanded. Bad files are the
// integrity check's (image_file_check_test.cpp).
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>

#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/png_io.h"

namespace aperlume::tool {
namespace {

using PngIo = testing::TemporaryFolderTest;
using testing::PatternRaster;

// Writes a PNG with libpng directly, for formats the tool never writes itself.
void WriteRawPng(const std::string& path, png_uint_32 width, png_uint_32 height, int bitDepth, int colorType,
                 const std::vector<png_byte>& rowsData, const std::vector<png_color>& palette = {},
                 const std::vector<png_byte>& transparency = {}, int interlace = PNG_INTERLACE_NONE) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, bitDepth, colorType, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!transparency.empty())
        png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()), nullptr);
    png_write_info(png, info);
    const std::size_t rowBytes = rowsData.size() / height;
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 r = 0; r < height; ++r) png_write_row(png, rowsData.data() + r * rowBytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

TEST_F(PngIo, EveryFormatSurvivesARoundTrip) {
    for (std::int32_t bitDepth : {8, 16})
        for (std::int32_t channels = 1; channels <= 4; ++channels) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bitDepth << " bits");
            const RasterImage image = PatternRaster(13, 7, channels, bitDepth);
            const std::string path = Path("round.png");
            ASSERT_TRUE(WritePng(path, image).ok());
            RasterImage back;
            ToolStatus status = ReadPng(path, back);
            ASSERT_TRUE(status.ok()) << status.message;
            EXPECT_EQ(back.width, 13);
            EXPECT_EQ(back.height, 7);
            EXPECT_EQ(back.channels, channels);
            EXPECT_EQ(back.bitDepth, bitDepth);
            EXPECT_EQ(back.samples, image.samples);
        }
}

TEST_F(PngIo, PaletteAndLowBitDepthsAreExpanded) {
    // A 2x1 palette image whose second entry is half transparent: RGBA at 8 bits.
    WriteRawPng(Path("palette.png"), 2, 1, 8, PNG_COLOR_TYPE_PALETTE, {0, 1}, {{10, 20, 30}, {200, 100, 50}}, {255, 128});
    RasterImage image;
    ASSERT_TRUE(ReadPng(Path("palette.png"), image).ok());
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.bitDepth, 8);
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>{10, 20, 30, 255, 200, 100, 50, 128}));

    // 1-bit gray: 0 and 1 become 0 and 255.
    WriteRawPng(Path("bits.png"), 8, 1, 1, PNG_COLOR_TYPE_GRAY, {0b10100000});
    ASSERT_TRUE(ReadPng(Path("bits.png"), image).ok());
    EXPECT_EQ(image.channels, 1);
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>{255, 0, 255, 0, 0, 0, 0, 0}));
}

TEST_F(PngIo, SixteenBitSamplesAreReadInTheFileByteOrder) {
    WriteRawPng(Path("deep.png"), 2, 1, 16, PNG_COLOR_TYPE_GRAY, {0x12, 0x34, 0xff, 0xfe});
    RasterImage image;
    ASSERT_TRUE(ReadPng(Path("deep.png"), image).ok());
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>{0x1234, 0xfffe}));
}

TEST_F(PngIo, InterlacedFilesReadAsTheirPlainTwins) {
    for (std::int32_t bitDepth : {8, 16})
        for (std::int32_t channels : {1, 4}) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bitDepth << " bits");
            const RasterImage image = PatternRaster(13, 11, channels, bitDepth);  // every Adam7 pass has pixels
            std::vector<png_byte> bytes;
            for (std::uint16_t v : image.samples) {
                if (bitDepth == 16) bytes.push_back(static_cast<png_byte>(v >> 8));
                bytes.push_back(static_cast<png_byte>(v & 0xff));
            }
            WriteRawPng(Path("adam7.png"), 13, 11, bitDepth, channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGBA,
                        bytes, {}, {}, PNG_INTERLACE_ADAM7);
            RasterImage back;
            ToolStatus status = ReadPng(Path("adam7.png"), back);
            ASSERT_TRUE(status.ok()) << status.message;
            EXPECT_EQ(back.channels, channels);
            EXPECT_EQ(back.samples, image.samples);
        }
}

}  // namespace
}  // namespace aperlume::tool
