// How the plane buffers map onto the four float channels of a working pixel, from the image mode and
// the plane count. Codes c and c + 8 behave alike (the bit depth matters only to the host exchange).
#pragma once

#include <cstdint>

namespace aperlume {

enum PixelLayoutCode : std::int32_t {
    kLayoutRefused = 0,
    kLayoutRGB = 1,
    kLayoutRGBA = 2,
    kLayoutGray = 3,
    kLayoutGrayA = 4,
};

// The layout table's code for an image mode and plane count (0: mode refused).
std::int32_t PixelLayout(std::int16_t imageMode, std::int16_t planes);

// One working pixel: channels 0..2 colour (or 0 gray), channel 3 transparency.
struct alignas(16) WorkPixel {
    float c[4];
};

}  // namespace aperlume
