// The Monte Carlo method's fast loop: the pixels of one output row whose windows lie wholly inside the
// image, all of them reading the whole aperture at the same window offsets. Built once per instruction
// set (the baseline, and AVX2 where the processor has it) behind one table, so that the method picks an
// instruction set once per render. Every build draws, places, sums and settles exactly as the
// straightforward loop does: the same output and the same random state after it, bit for bit.
#pragma once

#include <cstdint>

#include "engine/pixel_layout.h"
#include "fft/fft.h"

namespace aperlume::montecarlo {

// The row of a draw in a full window, floor((2 * draw * span + 32767) / 65534) (what draw * span / 32767 +
// 0.5 truncates to in double precision: that quotient's fraction never lies within 1/65534 of a whole
// number), is computed as (h + (h >> 15) + 1) >> 15 with h = draw * span + 16383, which is exact while
// h < 2^30 - 1, for spans up to 32767 (all of them checked draw by draw). The loop keeps the kernel in
// double precision as well, so it takes apertures up to five times the dialog's largest; larger ones
// (scripted settings only) go through the method's general loop.
inline constexpr std::int32_t kLargestFullSpan = 1024;

// Draws computed ahead at once; at least one check period.
inline constexpr std::int32_t kDrawBlock = 24;

// What every full window of a render shares. Sample k (1-based) of a window reads the source pixel
// `columnBytes[k]` bytes right of the window's origin in its row, and the kernel element `columnKernel[k]`
// places from the end of the kernel's row; both tables run to kMaxSamplesPerPixel + kDrawBlock.
struct FullWindows {
    const float* kernelEnd;  // the last element of the D x D kernel as drawn: sample (i, j) weighs kernelEnd[-(j * D + i)]
    const double* wideKernelEnd;  // the same kernel in double precision
    std::int32_t diameter;
    std::int32_t rowBytes;  // bytes from one source row to the next
    const std::int32_t* columnBytes;
    const std::int32_t* columnKernel;
};

// Output pixels [0, count) of one row: pixel p's window starts at window[p] (its first row; the rows
// follow rowBytes apart), its own source pixel is own[p], and its estimate goes to out[ch][p] for every
// channel with a plane.
struct InteriorRow {
    const WorkPixel* window;
    const WorkPixel* own;
    std::int32_t count;
    float* out[4];
};

// Estimates the row's pixels, drawing from the generator state `state`; returns the state after the last
// draw.
using RowSampler = std::uint32_t (*)(const FullWindows& windows, const InteriorRow& row, std::uint32_t state);

// One sampler per channel layout.
struct RowSamplers {
    RowSampler gray;
    RowSampler grayAlpha;
    RowSampler colour;
    RowSampler colourAlpha;

    RowSampler For(const ChannelAssignment& channels) const {
        if (channels.colourChannels == 3) return channels.hasAlpha ? colourAlpha : colour;
        return channels.hasAlpha ? grayAlpha : gray;
    }
};

extern const RowSamplers kBaselineRowSamplers;
extern const RowSamplers kAvx2RowSamplers;

// The samplers for a path; kBest and an AVX2 path this processor lacks give the best it has.
const RowSamplers& RowSamplersFor(fft::SimdPath path);

}  // namespace aperlume::montecarlo
