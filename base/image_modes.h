// The host's image modes that the plug-in knows: the engine lays planes out by them, the host exchange
// picks the sample size by them.
#pragma once

#include <cstdint>

namespace aperlume {

enum : std::int16_t {
    kModeGrayScale = 1,
    kModeRGB = 3,
    kModeCMYK = 4,
    kModeLab = 9,
    kModeGray16 = 10,
    kModeRGB48 = 11,
    kModeLab48 = 12,
    kModeCMYK64 = 13,
};

}  // namespace aperlume
