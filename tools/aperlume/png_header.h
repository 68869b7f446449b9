// The header of a PNG file (signature and IHDR chunk), read without a PNG library: the Windows build
// decodes through GDI+, which hides the file's own bit depth and colour type.
#pragma once

#include <cstdint>
#include <string>

#include "tools/aperlume/tool_status.h"

namespace aperlume::tool {

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 0;   // 1, 2, 4, 8 or 16
    std::uint8_t colorType = 0;  // 0 gray, 2 RGB, 3 palette, 4 gray+alpha, 6 RGBA
};

// Reads the header of `path`. Fails, naming the file, when it cannot be opened, is not a PNG file, or
// its header is cut short or malformed.
ToolStatus ReadPngHeader(const std::string& path, PngHeader& header);

}  // namespace aperlume::tool
