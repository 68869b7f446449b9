// The direct method with a depth map: every source pixel spreads over an aperture of its own size (its
// size code, from its distance to the focus), and in-focus pixels are shielded from the spread of pixels
// whose depth lies above the focus.
#pragma once

#include <cstdint>
#include <span>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "engine/direct_frame.h"
#include "engine/direct_loops.h"

namespace aperlume::direct {

[[nodiscard]] Result ScatterWithDepth(const Geometry& geometry, const Lanes& lanes, const FilterParameters& settings,
                                      std::int32_t diameter, const float* depthMap, const Loops& loops,
                                      std::int32_t threads, std::span<const PlaneView> planes, Progress& progress);

}  // namespace aperlume::direct
