// The layout table: image mode and plane count to the working pixel's channel assignment.
#include "engine/pixel_layout.h"

#include "base/image_modes.h"

namespace aperlume {

std::int32_t PixelLayout(std::int16_t imageMode, std::int16_t planes) {
    // The 16-bit modes share the 8-bit codes plus 8.
    switch (imageMode) {
        case kModeRGB:
            return planes == 3 ? 1 : 2;
        case kModeGrayScale:
            return planes == 1 ? 3 : 4;
        case kModeCMYK:
            return planes == 4 ? 5 : 6;
        case kModeLab:
            return planes == 3 ? 7 : 8;
        case kModeRGB48:
            return planes == 3 ? 9 : 10;
        case kModeGray16:
            return planes == 1 ? 11 : 12;
        case kModeCMYK64:
            return planes == 4 ? 13 : 14;
        case kModeLab48:
            return planes == 3 ? 15 : 16;
        default:
            return kLayoutRefused;
    }
}

ChannelAssignment AssignChannels(std::int32_t layoutCode, std::int32_t planeCount) {
    const std::int32_t code = layoutCode > 8 ? layoutCode - 8 : layoutCode;
    // Never map a plane that does not exist.
    ChannelAssignment byCount{0, false};
    if (planeCount >= 4) {
        byCount = ChannelAssignment{3, true};
    } else if (planeCount >= 1) {
        byCount = ChannelAssignment{planeCount == 3 ? 3 : 1, planeCount == 2};
    }
    switch (code) {
        case kLayoutRGB:
            return planeCount >= 3 ? ChannelAssignment{3, false} : byCount;
        case kLayoutRGBA:
            return planeCount >= 4 ? ChannelAssignment{3, true} : byCount;
        case kLayoutGray:
            return planeCount >= 1 ? ChannelAssignment{1, false} : byCount;
        case kLayoutGrayA:
            return planeCount >= 2 ? ChannelAssignment{1, true} : byCount;
        default:
            return ChannelAssignment{0, false};
    }
}

}  // namespace aperlume
