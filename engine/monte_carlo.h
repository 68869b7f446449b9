// The pieces of the Monte Carlo method (MonteCarloConvolve itself is declared in engine/methods.h): the
// estimate of one output pixel from random positions in its window, weighted by the aperture as drawn.
//
// Columns follow a fixed additive sequence that restarts at every pixel; rows come from the project's
// generator (engine/random.h), one draw per sample, continuing across pixels and runs. An estimate
// ends at its second settled check (every channel within 0.001 of the previous estimate), at the
// latest after kMaxSamplesPerPixel samples. A window without any positive weight is not sampled: the
// pixel keeps its source values. Where no non-transparent pixel carried weight, the colour keeps its
// source value and the alpha is the mean over all weighted pixels (0 for a fully transparent window).
#pragma once

#include <cstdint>

#include "engine/pixel_layout.h"

namespace aperlume {

inline constexpr std::int32_t kMaxSamplesPerPixel = 4096;

// The D x D aperture as drawn (neither turned nor normalised), and the (D + 1) x (D + 1) summed-area
// table of its positive elements, by which a window's total positive weight is tested in O(1).
struct SampledAperture {
    const float* weights;
    const std::int32_t* positiveCounts;
    std::int32_t diameter;
};

// Fills `counts` ((D + 1) x (D + 1) entries): counts[r * (D + 1) + c] is the number of positive
// weights in rows < r and columns < c.
void CountPositiveWeights(const float* weights, std::int32_t diameter, std::int32_t* counts);

// Estimates output pixel (x, y) of a width x height image into `result`, writing only the channels
// that `channels` assigns. Returns the number of samples drawn (0 when the window has no positive
// weight).
std::int32_t EstimatePixel(const ChannelAssignment& channels, std::int32_t x, std::int32_t y,
                           const SampledAperture& aperture, std::int32_t width, std::int32_t height,
                           const WorkPixel* source, WorkPixel* result);

}  // namespace aperlume
