// Seam: reading and writing PNG files. Natively through libpng (every PNG: palette and low bit depths
// are expanded, 16-bit kept); on Windows through GDI+, which decodes to 8 bits per channel, so the
// Windows tool reads and writes 8-bit files only and refuses 16-bit ones with a message. Every file
// passes the same integrity check (image_file_check.h) before either decoder sees it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/aperlume/image_file_check.h"
#include "tools/aperlume/raster_image.h"
#include "tools/aperlume/tool_status.h"

namespace aperlume::tool {

// Reads `path` into `image` (1..4 channels, 8 or 16 bits). Fails with a message naming the file for a
// missing, unreadable, damaged or unsupported file, one larger than the filter can take, or one of
// more than `maxPixels` pixels (0: no limit). Memory grows with the image data actually decoded, not
// with the size the header claims.
ToolStatus ReadPng(const std::string& path, RasterImage& image, std::uint64_t maxPixels = kDefaultMaxPixels);

// Writes `image` to `path` as a PNG of the same channels and bit depth, through WriteFileAtomically
// (output_file.h): a failure leaves no partial file and an existing file as it was.
ToolStatus WritePng(const std::string& path, const RasterImage& image);

// Encodes `image` into the open `file`, which it does not close; `name` is the file's name for messages.
ToolStatus EncodePng(std::FILE* file, const RasterImage& image, const std::string& name);

}  // namespace aperlume::tool
