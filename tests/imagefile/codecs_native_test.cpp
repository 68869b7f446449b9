// What the native codecs do beyond a round trip: libpng expands palettes, low bit depths and
// interlacing, and reads 16-bit samples in the file's order; libjpeg follows the quality and chroma
// asked for (the Windows Imaging Component of Wine 8 ignores both options, so this is native only).
// Round trips of every format are image_file_test's, bad files the integrity check's.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/imagefile/image_test_support.h"
#include "tools/imagefile/image_file.h"

namespace aperlume::tool {
namespace {

using NativeCodecs = testing::TemporaryFolderTest;
using testing::PatternImage;
using testing::SampleAt;

// The file's own values, as a selection is read.
ToolImage ReadFileValues(const std::string& path) {
    ToolImage image;
    const ToolStatus status = ReadImage(path, image, nullptr, {0, SampleRange::File});
    EXPECT_TRUE(status.ok()) << status.message;
    return image;
}

std::vector<std::uint32_t> Samples(const ToolImage& image) {
    std::vector<std::uint32_t> values(testing::SampleCount(image));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = SampleAt(image, i);
    return values;
}

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

TEST_F(NativeCodecs, PaletteAndLowBitDepthsAreExpanded) {
    // A 2x1 palette image whose second entry is half transparent: RGBA at 8 bits.
    WriteRawPng(Path("palette.png"), 2, 1, 8, PNG_COLOR_TYPE_PALETTE, {0, 1}, {{10, 20, 30}, {200, 100, 50}}, {255, 128});
    ToolImage image = ReadFileValues(Path("palette.png"));
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.BytesPerSample(), 1);
    EXPECT_EQ(image.samples, (std::vector<std::uint8_t>{10, 20, 30, 255, 200, 100, 50, 128}));

    // 1-bit gray: 0 and 1 become 0 and 255.
    WriteRawPng(Path("bits.png"), 8, 1, 1, PNG_COLOR_TYPE_GRAY, {0b10100000});
    image = ReadFileValues(Path("bits.png"));
    EXPECT_EQ(image.channels, 1);
    EXPECT_EQ(image.samples, (std::vector<std::uint8_t>{255, 0, 255, 0, 0, 0, 0, 0}));
}

TEST_F(NativeCodecs, SixteenBitSamplesAreReadInTheFileByteOrderAndMappedToTheHostRange) {
    WriteRawPng(Path("deep.png"), 2, 1, 16, PNG_COLOR_TYPE_GRAY, {0x12, 0x34, 0xff, 0xfe});
    EXPECT_EQ(Samples(ReadFileValues(Path("deep.png"))), (std::vector<std::uint32_t>{0x1234, 0xfffe}));
    ToolImage host;
    ASSERT_TRUE(ReadImage(Path("deep.png"), host).ok());
    EXPECT_EQ(Samples(host), (std::vector<std::uint32_t>{HostFromFile16(0x1234), HostFromFile16(0xfffe)}));
}

TEST_F(NativeCodecs, InterlacedFilesReadAsTheirPlainTwins) {
    for (std::int32_t bitDepth : {8, 16})
        for (std::int32_t channels : {1, 4}) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bitDepth << " bits");
            const ToolImage image = PatternImage(13, 11, channels, bitDepth);  // every Adam7 pass has pixels
            std::vector<png_byte> bytes;
            for (std::uint32_t v : Samples(image)) {
                if (bitDepth == 16) bytes.push_back(static_cast<png_byte>(v >> 8));
                bytes.push_back(static_cast<png_byte>(v & 0xff));
            }
            WriteRawPng(Path("adam7.png"), 13, 11, bitDepth, channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGBA,
                        bytes, {}, {}, PNG_INTERLACE_ADAM7);
            const ToolImage back = ReadFileValues(Path("adam7.png"));
            EXPECT_EQ(back.channels, channels);
            EXPECT_EQ(back.samples, image.samples);
        }
}

TEST_F(NativeCodecs, JpegQualityAndChromaFollowTheSettings) {
    const ToolImage image = PatternImage(64, 64, 3, 8);
    std::vector<std::uintmax_t> sizes;
    for (int quality : {50, 89, 90, 100}) {
        const std::string path = Path("q" + std::to_string(quality) + ".jpg");
        ASSERT_TRUE(WriteImage(path, image, {}, {quality}).ok());
        sizes.push_back(std::filesystem::file_size(path));
        // The frame header: three components, each sampled 2x2 (4:2:0) below 90 and 1x1 from 90 up.
        const std::string bytes = testing::ReadText(path);
        const std::size_t frame = bytes.find("\xff\xc0");
        ASSERT_NE(frame, std::string::npos);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[frame + 11]), quality >= 90 ? 0x11 : 0x22) << quality;
    }
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[2], sizes[3]);
}

}  // namespace
}  // namespace aperlume::tool
