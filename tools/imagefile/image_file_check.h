// The integrity check every image file passes before a decoder sees it, in every build: the same file
// gets the same answer whichever library decodes it, and a file whose header promises more pixels than
// its data can hold is refused before any memory is set aside for them. The check also reads the file's
// metadata (image_metadata.h), with the same code in every build.
//
// The check identifies the format by its signature (PNG, JPEG, TIFF; never by the file's name) and
// walks the file's structure once, reading in small pieces: its memory does not grow with the image.
#pragma once

#include <cstdint>
#include <string>

#include "tools/imagefile/file_open.h"
#include "tools/imagefile/image_metadata.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// The largest image the tool opens unless told otherwise (--max-megapixels), in millions of pixels.
inline constexpr std::uint32_t kDefaultMaxMegapixels = 300;
inline constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t{kDefaultMaxMegapixels} * 1000000u;

struct ImageLimits {
    std::uint32_t maxSide = 0;    // pixels a side; 0: no limit
    std::uint64_t maxPixels = 0;  // width * height; 0: no limit
};

enum class ImageFormat { Png, Jpeg, Tiff };

// A file that passed the check, as the check found it: its format, size and sample layout, where its
// image data lies, and its metadata.
struct CheckedImageFile {
    ImageFormat format = ImageFormat::Png;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t bitDepth = 0;   // per sample as stored: PNG 1, 2, 4, 8 or 16; JPEG 8; TIFF 8 or 16
    std::int32_t channels = 0;   // as the tool reads the file: a palette becomes RGB, transparency alpha
    std::uint8_t pngColorType = 0;
    bool interlaced = false;        // PNG Adam7, or a progressive JPEG
    bool associatedAlpha = false;   // TIFF: the colour is premultiplied by the alpha
    bool bigEndian = false;         // TIFF: the byte order of its samples
    std::uint64_t dataBytes = 0;    // the compressed image data, for an estimate of the decoded size
    // TIFF: the first directory as the decoders see it, over the file's own: the tags the check read and
    // no other, so that a decoder reads no more than the check did.
    ByteOverlay decoderDirectory;
    ImageMetadata metadata;
};

// Checks `path`. Fails, naming the file, when it cannot be opened, is of no known format, is damaged
// (cut short, a bad checksum, structures missing, out of order or pointing outside the file, a header
// out of range, less image data than the header's size needs), holds samples the tool cannot take
// (floating point, CMYK, ...), or when its size is beyond `limits`; the size is checked as soon as the
// header is read, before the rest of the file. With `opened`, a file that passes stays open in it for
// the decoder (DecodeImage), which then reads the very bytes the check read: a file replaced under its
// name in between is not the one decoded.
ToolStatus CheckImageFile(const std::string& path, const ImageLimits& limits, CheckedImageFile& checked,
                          OpenedFile* opened = nullptr);

// The size part of the check, for a header just read: fails, naming `path`, when a side or the pixel
// count is beyond `limits`.
ToolStatus CheckImageSize(std::uint32_t width, std::uint32_t height, const ImageLimits& limits,
                          const std::string& path);

// The words for a damaged file and for one the tool cannot read, shared by the checks and the decoders.
inline ToolStatus Damaged(const std::string& path, const std::string& why) {
    return ToolStatus::Failure(path + " is damaged (" + why + ")");
}
inline ToolStatus Unsupported(const std::string& path, const std::string& what) {
    return ToolStatus::Failure(path + " " + what);
}

}  // namespace aperlume::tool
