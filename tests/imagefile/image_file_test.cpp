// Image files in every format the tool writes: round trips of every depth and channel count, and the
// metadata read back from written files in every format and across formats. The same program runs
// natively and under Wine (the Windows Imaging Component) with the same expectations, except that the
// Windows build may write gray as RGB of the same values where its encoder has no gray (EncoderLimits).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/imagefile/image_test_support.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/tiff_directory.h"

namespace aperlume::tool {
namespace {

using testing::PatternImage;
using testing::SampleAt;
using testing::SampleCount;
using ImageFile = testing::TemporaryFolderTest;

// JPEG's largest error, in 8-bit levels, on a smooth image at the default quality (95, 4:4:4), through
// libjpeg-turbo natively and the Windows Imaging Component.
constexpr int kJpegBound = 3;

const bool kGrayMayBecomeRgb = EncoderLimits()[0] != '\0';

// Gentle gradients in every channel, with a transparent corner: what JPEG keeps well.
ToolImage Smooth(std::int32_t width, std::int32_t height, std::int32_t channels, std::int32_t bitDepth) {
    ToolImage image = EmptyToolImage(width, height, channels, bitDepth);
    const std::uint32_t full = bitDepth == 16 ? 32768 : 255;
    image.samples.resize(image.RowBytes() * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            for (std::int32_t c = 0; c < channels; ++c)
                testing::SetSampleAt(image, static_cast<std::size_t>((y * width + x) * channels + c),
                                     full * static_cast<std::uint32_t>(x + 2 * y + 7 * c) / static_cast<std::uint32_t>(width + 2 * height + 21));
    return image;
}

// Sample `c` of pixel `p` as 8 bits.
int Eight(const ToolImage& image, std::size_t p, int c) {
    const std::uint32_t v = SampleAt(image, p * static_cast<std::size_t>(image.channels) + static_cast<std::size_t>(c));
    return image.BytesPerSample() == 2 ? EightFromHost16(v) : static_cast<int>(v);
}

TEST_F(ImageFile, EveryFormatDepthAndChannelCountSurvivesARoundTrip) {
    for (const char* extension : {".png", ".tif", ".TIFF", ".jpg", ".JPEG"})
        for (std::int32_t bitDepth : {8, 16})
            for (std::int32_t channels = 1; channels <= 4; ++channels) {
                SCOPED_TRACE(::testing::Message() << extension << ", " << channels << " channels, " << bitDepth << " bits");
                const bool jpeg = extension[1] == 'j' || extension[1] == 'J';
                const ToolImage image = jpeg ? Smooth(37, 21, channels, bitDepth) : PatternImage(37, 21, channels, bitDepth);
                const std::string path = Path("round" + std::to_string(channels) + "x" + std::to_string(bitDepth) + extension);
                const ToolStatus written = WriteImage(path, image, {}, {});
                if (jpeg && channels % 2 == 0) {
                    EXPECT_EQ(written.message, "cannot write " + path + ": JPEG has no alpha; write the image with alpha as PNG or TIFF");
                    EXPECT_FALSE(std::filesystem::exists(path));
                    continue;
                }
                ASSERT_TRUE(written.ok()) << written.message;
                ToolImage back;
                const ToolStatus read = ReadImage(path, back);
                ASSERT_TRUE(read.ok()) << read.message;
                ASSERT_EQ(back.width, 37);
                ASSERT_EQ(back.height, 21);
                EXPECT_EQ(back.BytesPerSample() * 8, jpeg ? 8 : bitDepth);
                // Gray may come back as RGB of the same values, where the encoder has no gray.
                const bool widened = back.channels == channels + 2 && channels <= 2;
                ASSERT_TRUE(back.channels == channels || (kGrayMayBecomeRgb && widened)) << back.channels;
                int worst = 0;
                for (std::size_t p = 0; p < 37u * 21u; ++p)
                    for (int c = 0; c < back.channels; ++c) {
                        const int from = widened ? (c < 3 ? 0 : 1) : c;
                        const std::size_t at = p * static_cast<std::size_t>(channels) + static_cast<std::size_t>(from);
                        if (jpeg) {
                            worst = std::max(worst, std::abs(Eight(back, p, c) - Eight(image, p, from)));
                        } else {
                            ASSERT_EQ(SampleAt(back, p * static_cast<std::size_t>(back.channels) + static_cast<std::size_t>(c)),
                                      SampleAt(image, at)) << "pixel " << p << " channel " << c;
                        }
                    }
                EXPECT_LE(worst, kJpegBound);
            }
}

// An EXIF block in big-endian order, as many cameras write it: the camera, an orientation, the time of
// the shot and a position.
std::vector<std::uint8_t> CameraExif() {
    const auto ascii = [](std::uint16_t tag, const std::string& text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        return tiff::BytesEntry(tag, tiff::kAscii, bytes);
    };
    tiff::Directory first;
    first.Put(ascii(tiff::kMake, "Aperlume Optics"));
    first.Put(ascii(tiff::kModel, "Test Body"));
    first.Put(tiff::ShortEntry(tiff::kOrientation, 6));
    tiff::Entry exif{tiff::kExifIfd, tiff::kLong, 1, {0, 0, 0, 0}, {}};
    exif.subIfd = {ascii(36867, "2026:01:02 03:04:05"), tiff::RationalEntry(33434, 0.0125)};
    tiff::Entry gps{tiff::kGpsIfd, tiff::kLong, 1, {0, 0, 0, 0}, {}};
    gps.subIfd = {tiff::BytesEntry(0, tiff::kByte, std::vector<std::uint8_t>{2, 3, 0, 0}), ascii(1, "N")};
    first.Put(exif);
    first.Put(gps);
    std::vector<std::uint8_t> block = {'M', 'M', 0, 42, 0, 0, 0, 8};
    const std::vector<std::uint8_t> directory = tiff::WriteDirectory(first, 8, true);
    block.insert(block.end(), directory.begin(), directory.end());
    return block;
}

// The EXIF tags that must survive, with their values, whatever byte order and layout the block has.
std::string ExifSummary(const std::vector<std::uint8_t>& block) {
    MemoryByteSource source(block);
    tiff::Header header;
    tiff::Directory first;
    std::string why;
    if (!tiff::ReadHeader(source, header) ||
        !tiff::ReadDirectory(source, header.bigEndian, header.firstDirectory, {nullptr, true}, first, why))
        return "unreadable: " + why;
    std::string summary;
    const std::function<void(const std::vector<tiff::Entry>&, const std::string&)> add = [&](const auto& entries,
                                                                                            const std::string& where) {
        for (const tiff::Entry& entry : entries) {
            if (entry.tag == tiff::kXResolution || entry.tag == tiff::kYResolution || entry.tag == tiff::kResolutionUnit)
                continue;
            summary += where + std::to_string(entry.tag) + "/" + std::to_string(entry.type) + ":";
            if (entry.subIfd.empty())
                for (std::uint8_t byte : entry.value) summary += std::to_string(byte) + ",";
            add(entry.subIfd, where + std::to_string(entry.tag) + ">");
            summary += " ";
        }
    };
    add(first.entries, "");
    return summary;
}

ImageMetadata RichMetadata() {
    ImageMetadata metadata;
    metadata.icc.resize(70000);  // more than one JPEG segment holds
    for (std::size_t i = 0; i < metadata.icc.size(); ++i) metadata.icc[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    metadata.exif = CameraExif();
    const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>";
    metadata.xmp.assign(xmp.begin(), xmp.end());
    metadata.resolution = {300, 240, ResolutionUnit::Inch};
    return metadata;
}

TEST_F(ImageFile, MetadataSurvivesEveryFormatAndEveryChainOfThem) {
    const ImageMetadata original = RichMetadata();
    const std::vector<std::vector<const char*>> chains = {
        {"png"}, {"jpg"}, {"tif"}, {"png", "jpg", "tif", "png"}, {"tif", "jpg", "png", "tif"}};
    for (const auto& chain : chains) {
        std::string trace;
        ImageMetadata metadata = original;
        ToolImage image = Smooth(16, 8, 3, 8);
        for (std::size_t i = 0; i < chain.size(); ++i) {
            trace += std::string(trace.empty() ? "" : " -> ") + chain[i];
            SCOPED_TRACE(trace);
            const std::string path = Path("meta" + std::to_string(i) + "." + chain[i]);
            std::vector<std::string> dropped;
            ASSERT_TRUE(WriteImage(path, image, metadata, {}, &dropped).ok());
            EXPECT_TRUE(dropped.empty()) << dropped.front();
            ASSERT_TRUE(ReadImage(path, image, &metadata).ok());
            EXPECT_EQ(metadata.icc, original.icc);
            EXPECT_EQ(metadata.xmp, original.xmp);
            EXPECT_EQ(metadata.resolution, original.resolution);
            EXPECT_EQ(ExifSummary(metadata.exif), ExifSummary(original.exif));
        }
    }
    EXPECT_NE(ExifSummary(original.exif).find("271/2:65,112,"), std::string::npos) << "the make as text";
}

TEST_F(ImageFile, WhatAFormatCannotHoldIsNamedAndTheRestKept) {
    ImageMetadata metadata = RichMetadata();
    metadata.xmp.assign(70000, 'x');  // beyond one JPEG segment; PNG and TIFF take it
    metadata.resolution = {0.2, 0.2, ResolutionUnit::Centimetre};  // below JPEG's whole-number density
    std::vector<std::string> dropped;
    ASSERT_TRUE(WriteImage(Path("big.jpg"), Smooth(8, 8, 3, 8), metadata, {}, &dropped).ok());
    EXPECT_EQ(dropped, (std::vector<std::string>{"the resolution (out of JPEG's range)", "XMP (more than a JPEG segment holds)"}));
    ToolImage image;
    ImageMetadata back;
    ASSERT_TRUE(ReadImage(Path("big.jpg"), image, &back).ok());
    EXPECT_TRUE(back.xmp.empty());
    EXPECT_EQ(back.icc, metadata.icc);
    EXPECT_FALSE(back.resolution.Known());
    for (const char* name : {"big.png", "big.tif"}) {
        ASSERT_TRUE(WriteImage(Path(name), Smooth(8, 8, 3, 8), metadata, {}, &dropped).ok());
        EXPECT_TRUE(dropped.empty());
        ASSERT_TRUE(ReadImage(Path(name), image, &back).ok());
        EXPECT_EQ(back.xmp, metadata.xmp);
    }
    // PNG keeps pixels per metre: a resolution per centimetre comes back per inch, the same density.
    EXPECT_NEAR(back.resolution.x, 0.2, 1e-9);  // the TIFF
    ASSERT_TRUE(ReadImage(Path("big.png"), image, &back).ok());
    EXPECT_EQ(back.resolution.unit, ResolutionUnit::Inch);
    EXPECT_NEAR(back.resolution.x, 20 * 0.0254, 1e-9);
}

}  // namespace
}  // namespace aperlume::tool
