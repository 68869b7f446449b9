// Image files as the tool reads and writes them: PNG, JPEG and TIFF, 8 or 16 bits, gray or RGB, with
// or without alpha, and their metadata. An input's format is told by its content (whatever its name);
// an output's by its name's extension: .png, .jpg or .jpeg, .tif or .tiff, in any case.
//
// Every file passes the integrity check (image_file_check.h) before a decoder sees it, and every output
// goes through WriteFileAtomically (output_file.h): a failure leaves no partial file and an existing
// file as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagefile/image_codec.h"
#include "tools/imagefile/image_file_check.h"
#include "tools/imagefile/image_metadata.h"
#include "tools/imagefile/tool_image.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

struct ReadOptions {
    std::uint64_t maxPixels = kDefaultMaxPixels;  // 0: no limit
    SampleRange range = SampleRange::Host;
};

// Reads `path` into `image` (1..4 channels, 8 or 16 bits) and, when `metadata` is given, its metadata.
// Fails with a message naming the file for a missing, unreadable, damaged or unsupported file, one
// larger than the filter can take, or one of more than `options.maxPixels` pixels. Memory grows with
// the image data actually decoded, not with the size the header claims.
ToolStatus ReadImage(const std::string& path, ToolImage& image, ImageMetadata* metadata = nullptr,
                     const ReadOptions& options = {});

// For tests: a function ReadImage calls with the file's path after its check and
// before its decoding (none by default; nullptr sets none again).
using BetweenCheckAndDecode = void (*)(const std::string& path);
void SetBetweenCheckAndDecode(BetweenCheckAndDecode hook);

// The format the name `path` asks for; fails, naming the path, for an extension of no format the tool
// writes.
ToolStatus OutputFormatOf(const std::string& path, ImageFormat& format);

// Checks before any work that an image of `channels` channels can be written to `path`: a known
// extension, and no alpha for JPEG.
ToolStatus CheckOutputFormat(const std::string& path, std::int32_t channels);

// Writes `image` to `path` in the format its extension names, with `metadata` as far as the format
// holds it; what it cannot hold is named in `dropped`.
ToolStatus WriteImage(const std::string& path, const ToolImage& image, const ImageMetadata& metadata,
                      const EncodeSettings& settings, std::vector<std::string>* dropped = nullptr);

}  // namespace aperlume::tool
