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

// What the working pixel holds, from a layout code and the planes the host actually delivered. The table
// is used as it stands when every plane it maps exists; a plane count it does not cover (one plane of an
// RGB image, say) is laid out by the count: 1 gray, 2 gray + transparency, 3 colour, 4 colour +
// transparency. Codes without a channel assignment (CMYK, Lab) and zero planes give no channels.
struct ChannelAssignment {
    std::int32_t colourChannels;  // 0 (nothing to spread), 1 (gray) or 3 (colour): planes 0.. -> channels 0..
    bool hasAlpha;                // the next plane -> channel 3
};
ChannelAssignment AssignChannels(std::int32_t layoutCode, std::int32_t planeCount);

// One working pixel: channels 0..2 colour (or 0 gray), channel 3 transparency.
struct alignas(16) WorkPixel {
    float c[4];
};

}  // namespace aperlume
