// Seam: reading and writing PNG files. Natively through libpng (every PNG: palette and low bit depths
// are expanded, 16-bit kept); on Windows through GDI+, which decodes to 8 bits per channel, so the
// Windows tool reads and writes 8-bit files only and refuses 16-bit ones with a message.
#pragma once

#include <string>

#include "tools/aperlume/raster_image.h"
#include "tools/aperlume/tool_status.h"

namespace aperlume::tool {

// Reads `path` into `image` (1..4 channels, 8 or 16 bits). Fails with a message naming the file for a
// missing, unreadable, damaged or unsupported file, or one larger than the filter can take.
ToolStatus ReadPng(const std::string& path, RasterImage& image);

// Writes `image` to `path` as a PNG of the same channels and bit depth. The file is created or replaced
// directly; WriteFileAtomically (output_file.h) keeps a failure from leaving a partial file.
ToolStatus WritePng(const std::string& path, const RasterImage& image);

}  // namespace aperlume::tool
