// The Monte Carlo method's fast loop: runs of pixels of one output row whose windows cover the same rows
// and columns of the aperture (the pixels away from the left and right borders form one run a row, a
// pixel near them a run of its own). Built once per instruction set (the baseline, and AVX2 where the
// processor has it) behind one table, so that the method picks an instruction set once per render. Every
// build draws, places, sums and settles exactly as the straightforward loop does: the same output and the
// same random state after it, bit for bit.
#pragma once

#include <cstdint>

#include "engine/pixel_layout.h"
#include "fft/fft.h"

namespace aperlume::montecarlo {

// The row of a draw in a window of row span s, floor((2 * draw * s + 32767) / 65534) (what draw * s /
// 32767 + 0.5 truncates to in double precision: that quotient's fraction never lies within 1/65534 of a
// whole number), is computed as (h + (h >> 15) + 1) >> 15 with h = draw * s + 16383, which is exact while
// h < 2^30 - 1, for spans up to 32767 (all of them checked draw by draw). The loop takes apertures up to
// five times the dialog's largest; larger ones (scripted settings only) go through the method's general
// loop.
inline constexpr std::int32_t kLargestFullSpan = 1024;

// Draws computed ahead at once; at least one check period.
inline constexpr std::int32_t kDrawBlock = 24;

// What every window of a render shares. Sample k (1-based) of a window of the full column span D - 1
// reads the source pixel `columnBytes[k]` bytes right of the window's origin in its row, and the kernel
// element `columnKernel[k]` places from the window's kernel origin; a window of another span computes
// its columns from `columnFractions[k]`. All three run to kMaxSamplesPerPixel + kDrawBlock.
struct Windows {
    std::int32_t diameter;
    std::int32_t rowBytes;  // bytes from one source row to the next
    const std::int32_t* columnBytes;
    const std::int32_t* columnKernel;
    const double* columnFractions;
};

// Output pixels [0, count) of one row, whose windows span `rowSpan` rows and `columnSpan` columns of the
// image: pixel p's window starts at window[p] (its first row; the rows follow rowBytes apart), sample
// (i, j) of it weighs kernel[-(j * D + i)] (wideKernel: the same in double precision), its own source
// pixel is own[p], and its estimate goes to out[ch][p] for every channel with a plane. Every window must
// hold some positive weight.
struct Run {
    const WorkPixel* window;
    const WorkPixel* own;
    const float* kernel;
    const double* wideKernel;
    std::int32_t count;
    std::int32_t rowSpan;
    std::int32_t columnSpan;
    float* out[4];
};

// Estimates the run's pixels, drawing from the generator state `state`; returns the state after the last
// draw.
using RunSampler = std::uint32_t (*)(const Windows& windows, const Run& run, std::uint32_t state);

// One sampler per channel layout.
struct RunSamplers {
    RunSampler gray;
    RunSampler grayAlpha;
    RunSampler colour;
    RunSampler colourAlpha;

    RunSampler For(const ChannelAssignment& channels) const {
        if (channels.colourChannels == 3) return channels.hasAlpha ? colourAlpha : colour;
        return channels.hasAlpha ? grayAlpha : gray;
    }
};

extern const RunSamplers kBaselineRunSamplers;
extern const RunSamplers kAvx2RunSamplers;

// The samplers for a path; kBest and an AVX2 path this processor lacks give the best it has.
const RunSamplers& RunSamplersFor(fft::SimdPath path);

}  // namespace aperlume::montecarlo
