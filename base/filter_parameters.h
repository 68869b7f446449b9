// The filter's persistent settings: a 24-byte block of twelve signed 16-bit slots that lives in the
// host's `parameters` handle and is exchanged with the host byte for byte.
#pragma once

#include <cstdint>

namespace aperlume {

struct FilterParameters {
    std::int16_t amount;      // blur size; kernel diameter 2*amount+1 before host scaling
    std::int16_t brightness;  // highlight correction strength, used as brightness*0.1
    std::int16_t vertices;    // 1 disc, 2 streak, 3..8 polygon
    std::int16_t edge;        // inner shape radius in percent of the outer radius
    std::int16_t ratio;       // -100..100 balance of inner against outer weight
    std::int16_t rotation;    // degrees, clockwise on screen
    std::int16_t soft;        // anti-aliased aperture
    std::int16_t reserved;    // never read or written after creation
    std::int16_t method;      // 0 direct, 1 Monte Carlo, 2 FFT; others spread nothing
    std::int16_t correction;  // 0 gamma, 1 logarithmic; others correct nothing
    std::int16_t depth;       // selection as depth map (only with method 0)
    std::int16_t focus;       // depth value 0..255 that stays sharp
};
static_assert(sizeof(FilterParameters) == 24);

// The depth map is in force when, and only when, depth is on and the direct method is chosen.
inline bool DepthMapInForce(const FilterParameters& p) {
    return p.depth != 0 && p.method == 0;
}

}  // namespace aperlume

// The block's defaults (kDefaultParameters) are a column of the settings table, which needs the whole
// block above.
#include "base/settings_table.h"
