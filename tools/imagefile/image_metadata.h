// What an image file says about its pixels besides the pixels: the ICC profile, EXIF, XMP and the
// resolution. The tool carries them from the input to the output wherever the output's format can hold
// them, with its own code in every build, so that both builds read and write the same metadata:
//   PNG   iCCP, eXIf, iTXt "XML:com.adobe.xmp", pHYs
//   JPEG  APP0 JFIF (resolution), APP1 "Exif", APP1 XMP, APP2 "ICC_PROFILE" (in as many pieces as needed)
//   TIFF  tags 34675 (ICC), 700 (XMP), the resolution tags, and the EXIF and GPS directories
// EXIF travels as a TIFF-structured block, as PNG and JPEG keep it; its orientation is carried as it is
// (the filter works on the stored pixels). What a format cannot hold is dropped, and said so.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "tools/imagefile/tiff_directory.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

enum class ResolutionUnit : std::uint8_t { None, Inch, Centimetre };  // None: the aspect ratio only

struct Resolution {
    double x = 0;  // pixels per unit; 0 for no resolution
    double y = 0;
    ResolutionUnit unit = ResolutionUnit::None;
    bool Known() const { return x > 0 && y > 0; }
    bool operator==(const Resolution&) const = default;
};

struct ImageMetadata {
    std::vector<std::uint8_t> icc;
    std::vector<std::uint8_t> exif;  // starts with the byte order mark "II*\0" or "MM\0*"
    std::vector<std::uint8_t> xmp;   // the XMP packet, UTF-8
    Resolution resolution;

    bool Empty() const { return icc.empty() && exif.empty() && xmp.empty() && !resolution.Known(); }
};

// What `metadata` holds, in words, for --verbose ("ICC profile 3144 bytes, EXIF 1200 bytes, ...").
std::string DescribeMetadata(const ImageMetadata& metadata);

// One piece of metadata as a file stores it, for an encoder to write: a PNG chunk (named by its type) or
// a JPEG segment (named by its marker).
struct MetadataPiece {
    std::string type;
    std::uint8_t marker = 0;
    std::vector<std::uint8_t> data;
};

// PNG: what a chunk adds to the metadata (chunks of other kinds add nothing; a damaged one is ignored),
// and the chunks that carry `metadata`.
void ReadPngMetadataChunk(const std::string& type, std::span<const std::uint8_t> data, ImageMetadata& metadata);
std::vector<MetadataPiece> PngMetadataChunks(const ImageMetadata& metadata);

// JPEG: a reader of APPn segments (the ICC profile may come in pieces), and the segments that carry
// `metadata` (APP0 JFIF first). `dropped` collects what does not fit in a segment.
class JpegMetadataReader {
public:
    void Segment(std::uint8_t marker, std::span<const std::uint8_t> data);
    ImageMetadata Finish();

private:
    ImageMetadata metadata_;
    Resolution jfif_;
    std::vector<std::vector<std::uint8_t>> iccPieces_;
    bool iccBroken_ = false;
};
std::vector<MetadataPiece> JpegMetadataSegments(const ImageMetadata& metadata, std::vector<std::string>& dropped);

// The resolution an EXIF block states in its first directory, if any.
Resolution ExifResolution(std::span<const std::uint8_t> exif);

// TIFF: the metadata of a file's first directory, read with the metadata directories and at least the
// tags IsTiffMetadataTag accepts (the values are moved out of it), and the tags that carry `metadata`
// into one.
ImageMetadata TiffMetadata(tiff::Directory first);
bool IsTiffMetadataTag(std::uint16_t tag);
// Adds `metadata` to the TIFF file open for reading and writing in `file`: its first directory is
// written anew at the end with the metadata tags, and the header points to it.
ToolStatus AddTiffMetadata(std::FILE* file, const ImageMetadata& metadata, const std::string& name);

// For encoders that write files whole (the Windows build): the metadata chunks put into an encoded PNG
// right after its header, and the segments into an encoded JPEG right after its start, in place of the
// APPn and comment segments the encoder wrote. False when the bytes are not the format's.
bool SplicePngChunks(std::vector<std::uint8_t>& png, const std::vector<MetadataPiece>& chunks);
bool SpliceJpegSegments(std::vector<std::uint8_t>& jpeg, const std::vector<MetadataPiece>& segments);

}  // namespace aperlume::tool
