// The lens aperture as a raster of float weights in 0..1, centred at (w/2, h/2), not normalised.
//
// Drawn with the raster primitives from five settings (vertices, edge, ratio, rotation, soft) and a
// diameter chosen by the caller; soft supersamples 3x3. The raster is w*h floats owned by the caller
// and wholly overwritten. The diameter is expected to be at most min(w, h).
#pragma once

#include <cstdint>

#include "base/filter_parameters.h"

namespace aperlume {

void BuildApertureKernel(const FilterParameters& settings, std::int32_t diameter, std::int32_t width,
                         std::int32_t height, float* raster);

}  // namespace aperlume
