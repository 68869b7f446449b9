// The direct method's hot loops behind one table, so that a caller picks an instruction set once per
// render: the baseline build (SSE2, every build) or AVX2 with fused multiply-add where the processor
// has it. Both give the same sums up to the rounding of a multiply-add against a multiply and an add.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft.h"

namespace aperlume::direct {

// One term of a gather: `weight` times the prefix-sum element `offset` places after the row's origin.
struct GatherTerm {
    std::ptrdiff_t offset;
    double weight;
};

// Outputs are made in strips of this many, so callers pad their rows to a multiple of it.
inline constexpr std::int32_t kGatherStrip = 32;

struct Loops {
    // out[x] = sum over the terms of weight * prefix[origin + offset + x], for x in [0, count); count is a
    // multiple of kGatherStrip and every element read lies inside the caller's prefix rows.
    void (*gather)(const double* prefix, std::ptrdiff_t origin, const GatherTerm* terms, std::int32_t termCount,
                   double* out, std::int32_t count);
    // target[i] += factor * source[i] for i in [0, count).
    void (*addScaled)(double* target, const float* source, double factor, std::int32_t count);
    // out[i] = sums[i] / weights[i] as a float where weights[i] > 0; elsewhere out[i] keeps its value
    // (the source's own, where nothing with a positive weight arrived).
    void (*means)(const double* sums, const double* weights, float* out, std::int32_t count);
};

extern const Loops kBaselineLoops;
extern const Loops kAvx2Loops;

// The loops for a path; kBest and an AVX2 path this processor lacks give the best it has.
const Loops& LoopsFor(fft::SimdPath path);

}  // namespace aperlume::direct
