// Helpers of the direct convolution method (DirectConvolve itself is declared in engine/methods.h): the
// kernel's half turn, and the per-pixel aperture size of the depth path.
#pragma once

#include <cstdint>

namespace aperlume {

// Reverses the order of all width * height elements in place, which turns the kernel by 180 degrees.
void ReverseKernel(float* kernel, std::int32_t width, std::int32_t height);

// The depth path's size code of a pixel with depth value `depth` (0..1): the aperture diameter s, odd and
// 1..diameter, grows with the distance from focus / 255; the code is -s when the depth lies above the
// focus value, else s. A focus outside 0..255 cannot ask for an aperture larger than `diameter`.
std::int32_t DepthSizeCode(float depth, std::int16_t focus, std::int32_t diameter);

}  // namespace aperlume
