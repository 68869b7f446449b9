// The integrity check of JPEG and TIFF files, and the TIFF variants every build decodes alike. Runs
// natively and under Wine: the words are the same in every build, and a truncated file is an error
// everywhere, even where a decoder would only warn.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/png_bytes.h"
#include "tests/imagefile/tiff_bytes.h"
#include "tools/imagefile/file_open.h"
#include "tools/imagefile/file_position.h"
#include "tools/imagefile/image_file.h"

namespace aperlume::tool {
namespace {

using namespace testing;  // NOLINT: the byte builders
using JpegTiffCheck = TemporaryFolderTest;

// A JPEG as its segments before the first scan, and the rest (the scans and the end).
struct JpegParts {
    std::vector<MetadataPiece> segments;
    Bytes rest;
};

JpegParts Split(const Bytes& jpeg) {
    JpegParts parts;
    std::size_t at = 2;
    while (jpeg[at + 1] != 0xda) {
        const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        parts.segments.push_back({"", jpeg[at + 1], Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                                          jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length))});
        at += 2 + length;
    }
    parts.rest.assign(jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return parts;
}

Bytes Join(const JpegParts& parts) {
    Bytes jpeg = {0xff, 0xd8};
    for (const MetadataPiece& segment : parts.segments) {
        jpeg.insert(jpeg.end(), {0xff, segment.marker, static_cast<std::uint8_t>((segment.data.size() + 2) >> 8),
                                 static_cast<std::uint8_t>(segment.data.size() + 2)});
        jpeg.insert(jpeg.end(), segment.data.begin(), segment.data.end());
    }
    jpeg.insert(jpeg.end(), parts.rest.begin(), parts.rest.end());
    return jpeg;
}

MetadataPiece& Frame(JpegParts& parts) {
    for (MetadataPiece& segment : parts.segments)
        if (segment.marker == 0xc0) return segment;
    return parts.segments.front();
}

void SetSize(MetadataPiece& frame, std::uint32_t width, std::uint32_t height) {
    frame.data[1] = static_cast<std::uint8_t>(height >> 8);
    frame.data[2] = static_cast<std::uint8_t>(height);
    frame.data[3] = static_cast<std::uint8_t>(width >> 8);
    frame.data[4] = static_cast<std::uint8_t>(width);
}

TEST_F(JpegTiffCheck, JpegDamageIsRefusedWithItsReasonAndEveryCutIsCutShort) {
    ToolImage image = PatternImage(16, 8, 3, 8);
    ASSERT_TRUE(WriteImage(Path("good.jpg"), image, {}, {}).ok());
    const std::string text = ReadText(Path("good.jpg"));
    const Bytes good(text.begin(), text.end());
    struct Case {
        std::string message;  // after the path
        std::function<void(JpegParts&)> change;
    };
    const Case cases[] = {
        {" is damaged (its image data comes before its frame header)",
         [](JpegParts& p) { std::erase_if(p.segments, [](const MetadataPiece& s) { return s.marker == 0xc0; }); }},
        {" is damaged (it has two frame headers)", [](JpegParts& p) { p.segments.push_back(Frame(p)); }},
        {" has 12-bit JPEG samples; the tool reads 8-bit JPEG files", [](JpegParts& p) { Frame(p).data[0] = 12; }},
        {" is a CMYK JPEG; the tool reads gray and RGB images",
         [](JpegParts& p) {
             Frame(p).data[5] = 4;
             Frame(p).data.insert(Frame(p).data.end(), {4, 0x11, 0});
         }},
        {" uses a JPEG coding the tool cannot read (lossless, hierarchical or arithmetic)",
         [](JpegParts& p) { Frame(p).marker = 0xc9; }},
        {" gives its height after the image data, which the tool cannot read", [](JpegParts& p) { SetSize(Frame(p), 16, 0); }},
        {" is damaged (its frame header is invalid)", [](JpegParts& p) { Frame(p).data.pop_back(); }},
        {" is damaged (scan 1 is cut short)", [](JpegParts& p) { SetSize(Frame(p), 5000, 5000); }},
        {" is damaged (scan 1 has an invalid header)", [](JpegParts& p) { p.rest[12] = 62; }},
        {" is damaged (scan 1 uses a Huffman table the file does not define)",
         [](JpegParts& p) { std::erase_if(p.segments, [](const MetadataPiece& s) { return s.marker == 0xc4; }); }},
        {" is damaged (a Huffman table is invalid)",
         [](JpegParts& p) { std::find_if(p.segments.begin(), p.segments.end(), [](auto& s) { return s.marker == 0xc4; })->data[1] = 3; }},
        {" is damaged (its restart interval is invalid)", [](JpegParts& p) { p.segments.push_back({"", 0xdd, {0}}); }},
        {" is damaged (scan 2 codes a component a second time)",
         [](JpegParts& p) { p.rest.insert(p.rest.end() - 2, p.rest.begin(), p.rest.end() - 2); }},
        {": the image is 20000x20000 (400 megapixels), over the limit of 300 megapixels; --max-megapixels raises it",
         [](JpegParts& p) { SetSize(Frame(p), 20000, 20000); }},
        {" is damaged (a scan header is invalid)", [](JpegParts& p) { p.rest[4] = 0; }},
        {" is damaged (a segment length is invalid)", [](JpegParts& p) { p.rest.insert(p.rest.begin(), {0xff, 0xe5, 0, 1}); }},
        {" is damaged (a marker is missing where one must be)", [](JpegParts& p) { p.rest.insert(p.rest.begin(), 0); }},
        {" is damaged (a marker stands out of place)", [](JpegParts& p) { p.rest.insert(p.rest.begin(), {0xff, 0xd0}); }},
        {" is damaged (it has no image data)", [](JpegParts& p) { p.rest = {0xff, 0xd9}; }},
    };
    const std::string path = Path("damaged.jpg");
    for (const Case& c : cases) {
        JpegParts parts = Split(good);
        c.change(parts);
        WriteBytes(path, Join(parts));
        EXPECT_EQ(ReadImage(path, image).message, path + c.message);
    }
    for (std::size_t size = 1; size < good.size(); ++size) {
        WriteBytes(path, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        ASSERT_EQ(ReadImage(path, image).message, path + " is damaged (it is cut short)") << size << " of " << good.size() << " bytes";
    }
    // Bytes after the end are ignored, as by every decoder.
    Bytes trailing = good;
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
    WriteBytes(path, trailing);
    EXPECT_TRUE(ReadImage(path, image).ok());
}

TEST_F(JpegTiffCheck, TiffOfSamplesTheToolCannotTakeOrDamagedIsRefusedWithItsReason) {
    TiffImage rgb;
    rgb.data = Bytes(24, 9);
    const auto set = [](std::uint16_t tag, std::uint16_t type, std::initializer_list<std::uint32_t> values) {
        return [entry = Numbers(tag, type, values)](tiff::Directory& d) { d.Put(entry); };
    };
    struct Case {
        std::string message;
        std::function<void(tiff::Directory&)> change;
    };
    const Case cases[] = {
        {" has 32-bit floating-point samples; the tool reads 8- and 16-bit integer samples",
         [](tiff::Directory& d) {
             d.Put(Numbers(tiff::kBitsPerSample, tiff::kShort, {32, 32, 32}));
             d.Put(Numbers(tiff::kSampleFormat, tiff::kShort, {3, 3, 3}));
         }},
        {" is a CMYK image; the tool reads gray and RGB images",
         [](tiff::Directory& d) {
             d.Put(Numbers(tiff::kPhotometric, tiff::kShort, {5}));
             d.Put(Numbers(tiff::kSamplesPerPixel, tiff::kShort, {4}));
         }},
        {" is a palette image; the tool reads gray and RGB images", set(tiff::kPhotometric, tiff::kShort, {3})},
        {" has signed or complex samples; the tool reads 8- and 16-bit unsigned integer samples",
         set(tiff::kSampleFormat, tiff::kShort, {2, 2, 2})},
        {" has 12-bit samples; the tool reads 8- and 16-bit samples", set(tiff::kBitsPerSample, tiff::kShort, {12, 12, 12})},
        {" has 5 samples per pixel; the tool reads gray or RGB with at most one alpha", set(tiff::kSamplesPerPixel, tiff::kShort, {5})},
        {" stores its channels in separate planes, which the tool cannot read", set(tiff::kPlanarConfiguration, tiff::kShort, {2})},
        {" uses TIFF compression 7, which the tool cannot read", set(tiff::kCompression, tiff::kShort, {7})},
        {" uses TIFF predictor 3, which the tool cannot read", set(tiff::kPredictor, tiff::kShort, {3})},
        {" is damaged (its image size is missing)", [](tiff::Directory& d) { d.Remove(tiff::kImageWidth); }},
        {" is damaged (its photometric interpretation is missing)", [](tiff::Directory& d) { d.Remove(tiff::kPhotometric); }},
        {" is damaged (its image data is not located)", [](tiff::Directory& d) { d.Remove(tiff::kStripOffsets); }},
        {" is damaged (a strip lies outside the file)", set(tiff::kStripOffsets, tiff::kLong, {4000})},
        {" is damaged (its strip table does not match its size)", set(tiff::kRowsPerStrip, tiff::kShort, {1})},
        {" is damaged (its image data is too short for a 4x2000 image)",
         [](tiff::Directory& d) {
             d.Put(Numbers(tiff::kImageLength, tiff::kShort, {2000}));
             d.Put(Numbers(tiff::kRowsPerStrip, tiff::kShort, {2000}));
         }},
        {" is damaged (the value of tag 258 lies outside the file)",
         [](tiff::Directory& d) { d.Put(Numbers(tiff::kBitsPerSample, tiff::kShort, {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8})); }},
    };
    const std::string path = Path("bad.tif");
    ToolImage image;
    for (const Case& c : cases) {
        Bytes file = TiffFile(rgb, c.change);
        if (c.message.find("tag 258") != std::string::npos) file.resize(file.size() - 150);  // its values cut off
        WriteBytes(path, file);
        EXPECT_EQ(ReadImage(path, image).message, path + c.message);
    }
    // A tag with no value at all (found by fuzzing: its empty value was once copied from a null buffer).
    WriteBytes(path, TiffFile(rgb, set(tiff::kSoftware, tiff::kAscii, {})));
    EXPECT_TRUE(ReadImage(path, image).ok());
    Bytes big = TiffFile(rgb);
    big[2] = 43;  // BigTIFF
    WriteBytes(path, big);
    EXPECT_EQ(ReadImage(path, image).message, path + " is a BigTIFF file, which the tool cannot read");
    Bytes lost = TiffFile(rgb);
    lost[4] = 0xf0;  // the first directory beyond the end
    WriteBytes(path, lost);
    EXPECT_EQ(ReadImage(path, image).message, path + " is damaged (a directory lies outside the file)");
    // Files the tool wrote, cut at every byte.
    ImageMetadata metadata;
    metadata.resolution = {72, 72, ResolutionUnit::Inch};
    ASSERT_TRUE(WriteImage(Path("good.tif"), PatternImage(5, 3, 2, 16), metadata, {}).ok());
    const std::string text = ReadText(Path("good.tif"));
    for (std::size_t size = 1; size < text.size(); ++size) {
        WriteBytes(path, Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size)));
        const std::string message = ReadImage(path, image).message;
        ASSERT_EQ(message.rfind(path + " is damaged (", 0), 0u) << size << " bytes: " << message;
    }
}

TEST_F(JpegTiffCheck, TiffVariantsDecodeAlikeInEveryBuild) {
    ToolImage image;
    // Big-endian 16-bit RGB: the values as stored.
    TiffImage deep;
    deep.bits = 16;
    deep.bigEndian = true;
    deep.width = 2;
    deep.height = 1;
    deep.data = {0x12, 0x34, 0xff, 0xfe, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00, 0xff, 0xff};
    WriteBytes(Path("deep.tif"), TiffFile(deep));
    ASSERT_TRUE(ReadImage(Path("deep.tif"), image, nullptr, {0, SampleRange::File}).ok());
    const std::vector<std::uint32_t> expected = {0x1234, 0xfffe, 0x0001, 0x8000, 0, 0xffff};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(SampleAt(image, i), expected[i]) << i;

    // Associated alpha becomes straight: colour / alpha, rounded; nothing where alpha is 0.
    TiffImage premultiplied;
    premultiplied.samples = 4;
    premultiplied.width = 2;
    premultiplied.height = 1;
    premultiplied.data = {100, 50, 0, 200, 30, 30, 30, 0};
    WriteBytes(Path("premultiplied.tif"), TiffFile(premultiplied, [](tiff::Directory& d) {
                   d.Put(Numbers(tiff::kExtraSamples, tiff::kShort, {1}));
               }));
    ASSERT_TRUE(ReadImage(Path("premultiplied.tif"), image).ok());
    EXPECT_EQ(image.samples, (std::vector<std::uint8_t>{128, 64, 0, 200, 0, 0, 0, 0}));

    // Tiles of 16x16 over a 20x18 gray image: each pixel from its tile.
    TiffImage tiled;
    tiled.width = 20;
    tiled.height = 18;
    tiled.samples = 1;
    tiled.photometric = 1;
    for (std::uint32_t tile = 0; tile < 4; ++tile)
        for (std::uint32_t y = 0; y < 16; ++y)
            for (std::uint32_t x = 0; x < 16; ++x) tiled.data.push_back(static_cast<std::uint8_t>(tile * 60 + y * 3 + x));
    WriteBytes(Path("tiled.tif"), TiffFile(tiled, [](tiff::Directory& d) {
                   d.Remove(tiff::kStripOffsets);
                   d.Remove(tiff::kStripByteCounts);
                   d.Remove(tiff::kRowsPerStrip);
                   d.Put(Numbers(tiff::kTileWidth, tiff::kShort, {16}));
                   d.Put(Numbers(tiff::kTileLength, tiff::kShort, {16}));
                   d.Put(Numbers(tiff::kTileOffsets, tiff::kLong, {8, 264, 520, 776}));
                   d.Put(Numbers(tiff::kTileByteCounts, tiff::kLong, {256, 256, 256, 256}));
               }));
    const ToolStatus status = ReadImage(Path("tiled.tif"), image);
    ASSERT_TRUE(status.ok()) << status.message;
    for (std::uint32_t y = 0; y < 18; ++y)
        for (std::uint32_t x = 0; x < 20; ++x) {
            const std::uint32_t tile = (y / 16) * 2 + x / 16;
            ASSERT_EQ(image.samples[y * 20 + x], tile * 60 + (y % 16) * 3 + x % 16) << x << "," << y;
        }
}

// `image` as a TIFF file whose first directory lies at `at`, with nothing written between its strip and
// there: a sparse file, which costs no disk where the file system keeps holes (as Linux's do under Wine).
void WriteSparseTiff(const std::string& path, const TiffImage& image, std::uint32_t at,
                     const std::function<void(tiff::Directory&)>& change = {}) {
    const Bytes head = TiffHead(image, at), directory = tiff::WriteDirectory(TiffDirectory(image, change), at, false);
    const OpenedFile file = OpenFile(path, "wb");
    ASSERT_TRUE(file != nullptr && std::fwrite(head.data(), 1, head.size(), file.get()) == head.size() &&
                SeekFile(file.get(), at, SEEK_SET) &&
                std::fwrite(directory.data(), 1, directory.size(), file.get()) == directory.size());
}

TEST_F(JpegTiffCheck, TiffFilesOverTwoGibibytesAreReadAndGetTheirMetadata) {
    // 32-bit file offsets (a long on Windows) once refused such files as cut short, and could not read
    // back a large output to add its metadata.
    TiffImage small;
    small.data = Bytes(24, 7);
    const std::string far = Path("far.tif");
    WriteSparseTiff(far, small, 0xa0000000u);  // 2.5 GiB in
    ToolImage image;
    ToolStatus status = ReadImage(far, image);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(image.samples, small.data);
    ImageMetadata metadata;
    metadata.resolution = {300, 300, ResolutionUnit::Inch};
    metadata.xmp = {'<', 'x', '/', '>'};
    {
        const OpenedFile file = OpenFile(far, "r+b");
        ASSERT_NE(file, nullptr);
        status = AddTiffMetadata(file.get(), metadata, far);
        ASSERT_TRUE(status.ok()) << status.message;
    }
    ImageMetadata back;
    status = ReadImage(far, image, &back);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(image.samples, small.data);
    EXPECT_EQ(back.xmp, metadata.xmp);
    EXPECT_EQ(back.resolution, metadata.resolution);

    // 300 megapixels of 16-bit RGBA, 2.4 GB of samples with the directory after them: checked, not decoded.
    const TiffImage huge{20000, 15000, 4, 16, 2, false, {}};
    const std::uint32_t bytes = 20000u * 15000u * 8u;
    WriteSparseTiff(Path("huge.tif"), huge, 8 + bytes, [&](tiff::Directory& d) {
        d.Put(Numbers(tiff::kStripByteCounts, tiff::kLong, {bytes}));
        d.Put(Numbers(tiff::kExtraSamples, tiff::kShort, {2}));
    });
    CheckedImageFile checked;
    status = CheckImageFile(Path("huge.tif"), {0, kDefaultMaxPixels}, checked);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(checked.width * checked.height, kDefaultMaxPixels);
    EXPECT_EQ(checked.channels, 4);
}

}  // namespace
}  // namespace aperlume::tool
