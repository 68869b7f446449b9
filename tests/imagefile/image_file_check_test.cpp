// The integrity check every PNG file passes before a decoder sees it, through ReadImage as the tool
// reads files: each kind of damage gets its own words, the same in every build (this test runs natively
// and under Wine), and what the check learns of a good file is what the decoders then deliver.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/png_bytes.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/image_file_check.h"

namespace aperlume::tool {
namespace {

using namespace testing;  // NOLINT: the byte builders
using ImageFileCheck = TemporaryFolderTest;

// A 3x2 RGB image with an ancillary text chunk, valid in every respect.
std::vector<PngChunk> GoodChunks() {
    std::vector<PngChunk> chunks = RgbChunks(3, 2, 77);
    chunks.insert(chunks.begin() + 1, PngChunk{"tEXt", {'k', 0, 'v'}});
    return chunks;
}

// The file of `chunks` with the checksum of chunk `index` changed.
Bytes WithBadChecksum(const std::vector<PngChunk>& chunks, std::size_t index) {
    Bytes file = PngFile(chunks);
    const std::size_t end = PngFile({chunks.begin(), chunks.begin() + static_cast<std::ptrdiff_t>(index + 1)}).size();
    file[end - 1] ^= 0x5a;
    return file;
}

TEST_F(ImageFileCheck, EveryDamageIsRefusedWithItsReasonBeforeDecoding) {
    struct Case {
        std::string reason;
        std::function<void(std::vector<PngChunk>&)> change;
    };
    const Case cases[] = {
        {"it does not start with an image header", [](auto& c) { std::swap(c[0], c[1]); }},
        {"it has two image headers", [](auto& c) { c.insert(c.begin() + 1, c[0]); }},
        {"colour type 3 with 16-bit samples", [](auto& c) { c[0].data = ImageHeader(3, 2, 16, 3); }},
        {"its image header is invalid", [](auto& c) { c[0].data = ImageHeader(0, 2, 8, 2); }},
        {"its image header is invalid", [](auto& c) { c[0].data[10] = 1; }},  // compression method
        {"its image header is invalid", [](auto& c) { c[0].data = ImageHeader(3, 2, 8, 2, 2); }},
        {"its image header is invalid", [](auto& c) { c[0].data.pop_back(); }},
        {"its palette is missing", [](auto& c) { c[0].data = ImageHeader(3, 2, 8, 3); }},
        {"its palette is invalid", [](auto& c) { c.insert(c.begin() + 1, PngChunk{"PLTE", {1, 2, 3, 4}}); }},
        {"its transparency chunk is invalid", [](auto& c) { c.insert(c.begin() + 1, PngChunk{"tRNS", {0, 1}}); }},
        {"it has no image data", [](auto& c) { c.erase(c.begin() + 2); }},
        {"its image data is split", [](auto& c) {
             c.insert(c.begin() + 3, c[1]);
             c.insert(c.begin() + 4, c[2]);
         }},
        {"its end chunk is invalid", [](auto& c) { c[3].data = {0}; }},
        {"a chunk has no valid name", [](auto& c) { c[1].type = "tE5t"; }},
        {"it is cut short", [](auto& c) { c.pop_back(); }},
        // A header that promises far more pixels than its data can hold.
        {"its image data is too short for a 17000x17000 image", [](auto& c) { c[0].data = ImageHeader(17000, 17000, 8, 2); }},
    };
    const std::string path = Path("damaged.png");
    ToolImage image;
    EXPECT_EQ(ReadImage(Path("missing.png"), image).message.rfind("cannot open " + Path("missing.png") + ": ", 0), 0u);
    EXPECT_FALSE(ReadImage(folder_.string(), image).ok());
    for (const Case& c : cases) {
        std::vector<PngChunk> chunks = GoodChunks();
        c.change(chunks);
        WriteBytes(path, PngFile(chunks));
        EXPECT_EQ(ReadImage(path, image).message, path + " is damaged (" + c.reason + ")");
    }
    for (std::size_t index = 0; index < GoodChunks().size(); ++index) {
        WriteBytes(path, WithBadChecksum(GoodChunks(), index));
        EXPECT_EQ(ReadImage(path, image).message,
                  path + " is damaged (bad checksum in its " + GoodChunks()[index].type + " chunk)");
    }
    const Bytes good = PngFile(GoodChunks());
    for (std::size_t size = 0; size < good.size(); ++size) {
        WriteBytes(path, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_EQ(ReadImage(path, image).message,
                  path + (size == 0 ? " is not a PNG, JPEG or TIFF file" : " is damaged (it is cut short)"))
            << size << " bytes";
    }
    Bytes huge = good;
    huge[8] = 0x80;  // the IHDR length with its top bit set
    WriteBytes(path, huge);
    EXPECT_EQ(ReadImage(path, image).message, path + " is damaged (a chunk length is out of range)");
    std::vector<PngChunk> critical = GoodChunks();
    critical[1].type = "TEXT";
    WriteBytes(path, PngFile(critical));
    EXPECT_EQ(ReadImage(path, image).message, path + " uses a chunk this tool cannot read (TEXT)");
}

TEST_F(ImageFileCheck, HarmlessVariationsDecodeAsThePlainFile) {
    std::vector<PngChunk> split = RgbChunks(3, 2, 77);
    const Bytes stream = split[1].data;
    split[1].data.assign(stream.begin(), stream.begin() + 5);
    split.insert(split.begin() + 2, PngChunk{"IDAT", Bytes(stream.begin() + 5, stream.end())});
    split.insert(split.begin() + 1, PngChunk{"quIT", {1, 2, 3}});  // an ancillary chunk nobody knows
    Bytes trailing = PngFile(split);
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});  // after IEND: ignored, as every decoder does
    WriteBytes(Path("variant.png"), trailing);
    ToolImage image;
    ToolStatus status = ReadImage(Path("variant.png"), image);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.samples, std::vector<std::uint8_t>(18, 77));
}

TEST_F(ImageFileCheck, FactsFollowTheColourTypeAndTransparency) {
    struct Case {
        std::uint8_t colorType, depth;
        bool palette, transparency, interlaced;
        std::int32_t channels;
    };
    const Case cases[] = {{0, 8, false, false, false, 1}, {0, 16, false, true, false, 2}, {0, 1, false, false, true, 1},
                          {2, 8, false, true, false, 4},  {3, 4, true, false, false, 3},  {3, 8, true, true, true, 4},
                          {4, 8, false, false, false, 2}, {6, 16, false, false, false, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "colour type " << int{c.colorType} << ", " << int{c.depth} << " bits");
        std::vector<PngChunk> chunks = {{"IHDR", ImageHeader(5, 4, c.depth, c.colorType, c.interlaced ? 1 : 0)}};
        if (c.palette) chunks.push_back({"PLTE", Bytes(6, 9)});
        if (c.transparency) chunks.push_back({"tRNS", Bytes(c.colorType == 2 ? 6u : c.colorType == 0 ? 2u : 1u, 0)});
        chunks.push_back({"IDAT", ImageData(4, 40, 0)});
        chunks.push_back({"IEND", {}});
        WriteBytes(Path("checked.png"), PngFile(chunks));
        CheckedImageFile checked;
        ToolStatus status = CheckImageFile(Path("checked.png"), {}, checked);
        ASSERT_TRUE(status.ok()) << status.message;
        EXPECT_EQ(checked.width, 5u);
        EXPECT_EQ(checked.height, 4u);
        EXPECT_EQ(checked.bitDepth, c.depth);
        EXPECT_EQ(checked.channels, c.channels);
        EXPECT_EQ(checked.interlaced, c.interlaced);
    }
}

TEST_F(ImageFileCheck, SizeLimitsComeFirstAndSayHowToRaiseThem) {
    EXPECT_TRUE(CheckImageSize(20000, 15000, {0, kDefaultMaxPixels}, "x.png").ok());
    EXPECT_EQ(CheckImageSize(20000, 15001, {0, kDefaultMaxPixels}, "x.png").message,
              "x.png: the image is 20000x15001 (300.1 megapixels), over the limit of 300 megapixels; "
              "--max-megapixels raises it");
    EXPECT_TRUE(CheckImageSize(32767, 32767, {32767, 0}, "x.png").ok());
    EXPECT_EQ(CheckImageSize(32768, 1, {32767, 0}, "x.png").message,
              "x.png: the image is 32768x1; the filter takes at most 32767 pixels a side");
    // Through the reader, on the header alone, whatever follows it.
    WriteBytes(Path("wide.png"), PngFile({{"IHDR", ImageHeader(40000, 1, 1, 0)}}));
    ToolImage wide;
    EXPECT_EQ(ReadImage(Path("wide.png"), wide).message,
              Path("wide.png") + ": the image is 40000x1; the filter takes at most 32767 pixels a side");
    std::vector<PngChunk> chunks = {{"IHDR", ImageHeader(20000, 20000, 16, 6)}, {"IDAT", {1}}};
    WriteBytes(Path("big.png"), PngFile(chunks));
    ToolImage image;
    EXPECT_NE(ReadImage(Path("big.png"), image).message.find("(400 megapixels), over the limit of 300"), std::string::npos);
    EXPECT_EQ(ReadImage(Path("big.png"), image, nullptr, {0}).message, Path("big.png") + " is damaged (it is cut short)");
}

std::string replacement;  // the file put in the place of the one being read

void ReplaceTheFile(const std::string& path) {
    std::error_code error;  // Windows refuses to replace a file that is open, which is as good
    std::filesystem::rename(replacement, path, error);
}

TEST_F(ImageFileCheck, AFileReplacedAfterItsCheckIsNotTheOneDecoded) {
    // On Windows the check is the only integrity check; a decoder reading the name again could be handed
    // any other file of the same size.
    ToolImage checked = EmptyToolImage(8, 8, 1, 8), other = checked;
    checked.samples.assign(64, 10);
    other.samples.assign(64, 200);
    SetBetweenCheckAndDecode(ReplaceTheFile);
    for (const char* extension : {".png", ".jpg", ".tif"}) {
        const std::string path = Path(std::string("checked") + extension);
        replacement = Path(std::string("other") + extension);
        EXPECT_TRUE(WriteImage(path, checked, {}, {}).ok());
        EXPECT_TRUE(WriteImage(replacement, other, {}, {}).ok());
        ToolImage image;
        const ToolStatus status = ReadImage(path, image);
        EXPECT_TRUE(status.ok()) << status.message;
        EXPECT_EQ(image.samples, checked.samples) << extension;
    }
    SetBetweenCheckAndDecode(nullptr);
}

}  // namespace
}  // namespace aperlume::tool
