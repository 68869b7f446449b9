// Helpers of the direct convolution method (DirectConvolve itself is declared in engine/methods.h): the
// kernel's half turn, the per-pixel aperture size of the depth path, and the method with its hot loops
// built for a chosen instruction set.
#pragma once

#include <cstdint>
#include <span>

#include "base/result.h"
#include "engine/render.h"
#include "fft/fft.h"

namespace aperlume {

// Reverses the order of all width * height elements in place, which turns the kernel by 180 degrees.
void ReverseKernel(float* kernel, std::int32_t width, std::int32_t height);

// The depth path's size code of a pixel with depth value `depth` (0..1): the aperture diameter s, odd and
// 1..diameter, grows with the distance from focus / 255; the code is -s when the depth lies above the
// focus value, else s. A focus outside 0..255 cannot ask for an aperture larger than `diameter`.
std::int32_t DepthSizeCode(float depth, std::int16_t focus, std::int32_t diameter);

// DirectConvolve with the loops of `path` (kBest: the fastest this processor has; a path it lacks falls
// back to the baseline). Every path gives the same output up to float rounding.
[[nodiscard]] Result DirectConvolveWith(fft::SimdPath path, const RenderJob& job, std::span<const PlaneView> planes,
                                        const float* depthMap, CheckPoints& checkPoints);

}  // namespace aperlume
