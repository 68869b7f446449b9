// Helpers of the FFT convolution method (FftConvolve itself is declared in engine/methods.h).
#pragma once

#include <cstdint>

namespace aperlume {

// The padded size of one direction: the smallest power of two at least `needed` (1 for needed <= 1).
[[nodiscard]] std::int64_t PaddedSize(std::int64_t needed);

// Rotates an M x N complex grid (row pointers, 2*N doubles per row) circularly by M/2 rows and N/2
// columns, which swaps its quadrants diagonally. M and N are even. Done in place by exchanging each
// element with its diagonal partner, so it needs no memory and cannot fail.
void SwapQuadrants(std::int32_t columnCount, std::int32_t rowCount, double* const* rows);

}  // namespace aperlume
