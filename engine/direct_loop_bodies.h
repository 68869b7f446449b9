// The bodies of the direct method's hot loops (engine/direct_loops.h), written once over a vector of
// doubles and built by each file that includes this one with its own instruction-set flags: the
// including file defines APERLUME_DIRECT_LOOPS, the namespace that keeps its copy apart, and
// APERLUME_DIRECT_DOUBLES, the doubles in one of its registers. Nothing here may instantiate a
// standard-library inline function: a baseline caller could be linked to the AVX2 copy of it.
#if !defined(APERLUME_DIRECT_LOOPS) || !defined(APERLUME_DIRECT_DOUBLES)
#error "define APERLUME_DIRECT_LOOPS (this copy's namespace) and APERLUME_DIRECT_DOUBLES (its register width)"
#endif

#include <cstddef>
#include <cstdint>

#include "engine/direct_loops.h"

namespace aperlume::direct::APERLUME_DIRECT_LOOPS {

constexpr int kDoubles = APERLUME_DIRECT_DOUBLES;
typedef double Doubles __attribute__((vector_size(8 * kDoubles)));
typedef float Floats __attribute__((vector_size(4 * kDoubles)));

inline Doubles Load(const double* p) {
    Doubles v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(double* p, Doubles v) { __builtin_memcpy(p, &v, sizeof v); }

// The terms in groups, each group streamed over the whole row before the next: a term's prefix values are
// read in order (which the processor's prefetcher follows), and the running sums stay in the first-level
// cache. Every output adds its terms in their order, one multiply-add after another, as a term at a time
// across a strip of registers would: the same bits.
constexpr int kGroup = 8;

inline void Gather(const double* prefix, std::ptrdiff_t origin, const GatherTerm* terms, std::int32_t termCount,
                   double* out, std::int32_t count) {
    for (std::int32_t x = 0; x < count; x += kDoubles) Store(out + x, Doubles{});
    std::int32_t t = 0;
    for (; t + kGroup <= termCount; t += kGroup) {
        const double* p[kGroup];
        double w[kGroup];
        for (int g = 0; g < kGroup; ++g) {
            p[g] = prefix + (origin + terms[t + g].offset);
            w[g] = terms[t + g].weight;
        }
        for (std::int32_t x = 0; x < count; x += kDoubles) {
            Doubles sum = Load(out + x);
#pragma GCC unroll 8
            for (int g = 0; g < kGroup; ++g) sum += w[g] * Load(p[g] + x);
            Store(out + x, sum);
        }
    }
    for (; t < termCount; ++t) {
        const double* p = prefix + (origin + terms[t].offset);
        const double w = terms[t].weight;
        for (std::int32_t x = 0; x < count; x += kDoubles) Store(out + x, Load(out + x) + w * Load(p + x));
    }
}

inline void AddScaled(double* target, const float* source, double factor, std::int32_t count) {
    std::int32_t i = 0;
    for (; i + kDoubles <= count; i += kDoubles) {
        Floats f;
        __builtin_memcpy(&f, source + i, sizeof f);
        Store(target + i, Load(target + i) + factor * __builtin_convertvector(f, Doubles));
    }
    for (; i < count; ++i) target[i] += factor * static_cast<double>(source[i]);
}

inline void Means(const double* sums, const double* weights, float* out, std::int32_t count) {
    typedef long long Mask __attribute__((vector_size(8 * kDoubles)));
    typedef int FloatMask __attribute__((vector_size(4 * kDoubles)));
    std::int32_t i = 0;
    for (; i + kDoubles <= count; i += kDoubles) {
        const Doubles w = Load(weights + i);
        const Mask received = w > 0.0;
        // Where nothing arrived the quotient is 0/0 or x/0 and is not used.
        const Floats mean = __builtin_convertvector(Load(sums + i) / w, Floats);
        Floats own;
        __builtin_memcpy(&own, out + i, sizeof own);
        const FloatMask take = __builtin_convertvector(received, FloatMask);
        const Floats result = take ? mean : own;
        __builtin_memcpy(out + i, &result, sizeof result);
    }
    for (; i < count; ++i)
        if (weights[i] > 0.0) out[i] = static_cast<float>(sums[i] / weights[i]);
}

}  // namespace aperlume::direct::APERLUME_DIRECT_LOOPS
