// Flattening an image's alpha onto an opaque colour, for an output that cannot hold alpha (JPEG): what
// an editor does when it flattens a layer onto a background before saving such a file.
//
// Each pixel is laid over the colour with its alpha as coverage, in the stored values as they are
// (gamma-encoded, as editors composite): out = value * alpha + colour * (1 - alpha), rounded to the
// nearest, in the image's own range (8-bit 0..255, 16-bit the host's 0..32768). A gray image stays gray
// and takes the colour's luma (ITU-R BT.601 weights, as the tool reads a colour selection), so that a
// gray colour profile still fits the output.
#pragma once

#include <cstdint>

#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {

struct RgbColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend constexpr bool operator==(RgbColour, RgbColour) = default;
};

// Lays `image` over `background` and drops its alpha channel (RGBA to RGB, gray+alpha to gray), in place;
// an image without alpha is left as it is.
void FlattenAlpha(ToolImage& image, RgbColour background);

}  // namespace aperlume::tool
