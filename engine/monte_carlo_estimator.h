// The running estimate of one Monte Carlo pixel, written once and built by each file that includes it
// with its own instruction-set flags: the including file defines APERLUME_MC_LOOPS, the namespace that
// keeps its copy apart. Nothing here may instantiate a standard-library inline function (builtins
// only): a baseline caller could be linked to the AVX2 copy of it.
//
// Running sums of one pixel's samples and the estimates of its last unsettled check. Weight sums are
// double, value sums single precision; with transparency the colour weight counts the non-transparent
// samples only, the alpha weight every sample with a positive weight. Every operation is the one the
// straightforward loop makes, in its order, so that every estimate and settling decision keeps its bits.
#if !defined(APERLUME_MC_LOOPS)
#error "define APERLUME_MC_LOOPS (this copy's namespace)"
#endif

#include <cstdint>

#include "engine/pixel_layout.h"

namespace aperlume::montecarlo::APERLUME_MC_LOOPS {

constexpr double kTolerance = 0.001;
constexpr std::int32_t kAlpha = 3;

// All four channels of a working pixel: lane-wise float arithmetic, the same bits as channel by channel.
typedef float Float4 __attribute__((vector_size(16)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));

inline Float4 Load(const WorkPixel& p) {
    Float4 v;
    __builtin_memcpy(&v, p.c, sizeof v);
    return v;
}

template <std::int32_t kColours, bool kHasAlpha>
class Estimator {
public:
    static constexpr std::int32_t kColourChannels = kColours;
    static constexpr bool kAlphaChannel = kHasAlpha;

    // `wide` is w in double precision (the sums of a fast loop read it from a table rather than convert).
    void Add(float w, double wide, const WorkPixel& s) {
        if constexpr (!kHasAlpha) {
            weight_ += wide;
            values_ += w * Load(s);
        } else {
            // Only a positive weight counts, for colour only on a sample that is not transparent; the
            // others add +0, which leaves any sum as it was (no sum starting at +0 can become -0).
            // Selected rather than branched: whether a sample counts is as random as the sample.
            const Float4 sample = Load(s);
            const Float4 weight = Float4{} + w;
            const Int4 counts = weight > Float4{};
            const Int4 opaque = counts & (Float4{} + sample[kAlpha] > Float4{});
            values_ += __builtin_bit_cast(Float4, __builtin_bit_cast(Int4, weight * sample) & opaque);
            weight_ += __builtin_bit_cast(Float4, __builtin_bit_cast(Int4, weight) & opaque)[0];
            alphaWeight_ += __builtin_bit_cast(Float4, __builtin_bit_cast(Int4, weight) & counts)[0];
        }
    }
    void Add(float w, const WorkPixel& s) { Add(w, static_cast<double>(w), s); }

    // Estimates can be formed once some weight has arrived. Without alpha that is the weight sum; with
    // alpha it is the alpha weight, so that an early run of zero weights cannot turn the previous
    // estimates into 0/0 and keep the pixel from ever settling.
    bool CanCheck() const { return (kHasAlpha ? alphaWeight_ : weight_) > 0.0; }

    // One check; true when settled. A check is made only when CanCheck: the estimates it compares are
    // then all formed from the current sums.
    bool Check() {
        if (kHasAlpha && !(weight_ > 0.0)) return true;  // only transparent samples so far
        double estimate[4] = {0.0, 0.0, 0.0, 0.0};
        Estimate(estimate);
        bool settled = true;
        for (int ch = 0; ch < kColours; ++ch)
            settled = settled && __builtin_fabs(estimate[ch] - previous_[ch]) < kTolerance;
        if (kHasAlpha) settled = settled && __builtin_fabs(estimate[kAlpha] - previous_[kAlpha]) < kTolerance;
        if (!settled) {
            for (int ch = 0; ch < kColours; ++ch) previous_[ch] = static_cast<float>(estimate[ch]);
            if (kHasAlpha) previous_[kAlpha] = static_cast<float>(estimate[kAlpha]);
        }
        return settled;
    }

    // The estimates from the sums as they stand; a channel that no weight reached keeps its source value.
    WorkPixel Result(const WorkPixel& own) const {
        double estimate[4] = {0.0, 0.0, 0.0, 0.0};
        Estimate(estimate);
        WorkPixel out = own;
        if (weight_ > 0.0) {
            for (int ch = 0; ch < kColours; ++ch) out.c[ch] = static_cast<float>(estimate[ch]);
        }
        if (kHasAlpha && alphaWeight_ > 0.0) out.c[kAlpha] = static_cast<float>(estimate[kAlpha]);
        return out;
    }

private:
    // The colour estimates where weight_ > 0, the alpha estimate where alphaWeight_ > 0; colour takes one
    // reciprocal for three channels, gray a quotient.
    void Estimate(double* estimate) const {
        if (weight_ > 0.0) {
            if constexpr (kColours == 3) {
                const double reciprocal = 1.0 / weight_;
                for (int ch = 0; ch < 3; ++ch) estimate[ch] = values_[ch] * reciprocal;
            } else {
                estimate[0] = values_[0] / weight_;
            }
        }
        if (kHasAlpha && alphaWeight_ > 0.0) estimate[kAlpha] = values_[kAlpha] / alphaWeight_;
    }

    double weight_ = 0.0;
    double alphaWeight_ = 0.0;
    Float4 values_ = {0.0f, 0.0f, 0.0f, 0.0f};
    float previous_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

}  // namespace aperlume::montecarlo::APERLUME_MC_LOOPS
