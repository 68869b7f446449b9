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

#include <span>

#include "base/result.h"
#include "engine/pixel_layout.h"
#include "engine/random.h"
#include "engine/render.h"
#include "fft/fft.h"

namespace aperlume {

inline constexpr std::int32_t kMaxSamplesPerPixel = 4096;

// The largest aperture the method takes: its windows hold fewer than 2^32 weights, so the counts below
// are exact in 32 bits.
inline constexpr std::int32_t kLargestSampledDiameter = 65535;

// The D x D aperture as drawn (neither turned nor normalised), and the (D + 1) x (D + 1) summed-area
// table of its positive elements, by which a window's total positive weight is tested in O(1).
struct SampledAperture {
    const float* weights;
    const std::uint32_t* positiveCounts;
    std::int32_t diameter;
};

// Fills `counts` ((D + 1) x (D + 1) entries): counts[r * (D + 1) + c] is the number of positive
// weights in rows < r and columns < c, modulo 2^32 (a large aperture holds more than 2^31 of them;
// differences of such counts are exact in unsigned arithmetic as long as the true difference is below
// 2^32).
void CountPositiveWeights(const float* weights, std::int32_t diameter, std::uint32_t* counts);

// The window of output pixel (x, y) in the table of positive counts: the offsets of its four corners,
// whose alternating sum (endEnd - beginEnd - endBegin + beginBegin) counts the positive weights that the
// pixel's window reads. In 64 bits: a large aperture's table has more than 2^31 entries.
struct CountWindow {
    std::int64_t endEnd;
    std::int64_t beginEnd;
    std::int64_t endBegin;
    std::int64_t beginBegin;
};
CountWindow CountWindowAt(std::int32_t x, std::int32_t y, std::int32_t diameter, std::int32_t width,
                          std::int32_t height);

// Estimates output pixel (x, y) of a width x height image into `result`, writing only the channels
// that `channels` assigns. Returns the number of samples drawn (0 when the window has no positive
// weight).
std::int32_t EstimatePixel(const ChannelAssignment& channels, std::int32_t x, std::int32_t y,
                           const SampledAperture& aperture, std::int32_t width, std::int32_t height,
                           const WorkPixel* source, WorkPixel* result);

// MonteCarloConvolve with the fast loop of `path` (kBest: the fastest this processor has; a path it lacks
// falls back to the baseline). Every path gives the same output and leaves the same random state, bit
// for bit.
[[nodiscard]] Result MonteCarloConvolveWith(fft::SimdPath path, const RenderJob& job, std::span<const PlaneView> planes,
                                            CheckPoints& checkPoints);

}  // namespace aperlume
