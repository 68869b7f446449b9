// The direct method without a depth map: every output pixel is the weighted mean of its window under
// one kernel (already turned by 180 degrees, so that gathering spreads every source over the aperture as
// drawn), normalised by the weight it actually received inside the image.
#pragma once

#include <cstdint>
#include <span>

#include "base/result.h"
#include "engine/direct_frame.h"
#include "engine/direct_kernel_steps.h"
#include "engine/direct_loops.h"

namespace aperlume::direct {

[[nodiscard]] Result GatherUniform(const Geometry& geometry, const Lanes& lanes, const KernelSteps& kernel,
                                   const Loops& loops, std::int32_t threads, std::span<const PlaneView> planes,
                                   Progress& progress);

}  // namespace aperlume::direct
