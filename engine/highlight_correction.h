// The highlight correction around the spreading, which weights bright pixels far more than dark ones so
// that bright points bloom into visible aperture shapes, and its inverse, which brings the tones back.
// Gamma: v^f before and v^(1/f) after; logarithmic: 10^(v*f) before and log10(v)/f after; f is the
// brightness setting * 0.1. A brightness of 0 or below, or another correction code, corrects nothing.
//
// The forward correction is exactly the double computation rounded to float, for every value; the
// values that are samples of the image's bit depth (base/sample_values.h) come from a table.
//
// The inverse runs in single precision over vectors. Against the straightforward computation (pow in
// double, log10 of the float, each rounded to float) it stays within 2 ulp for gamma exponents 1/f up to
// 1 (brightness 10 and above; equal at exactly 10) and within 1 + 1/f ulp above (7 seen at brightness
// 1, where the exponent 10 multiplies every error of its input tenfold), and within 4 ulp for the
// logarithmic inverse (within 3 of the exact logarithm divided by f, as the straightforward code is).
// Rounded to 8 or 16 bits, a value can therefore change by one level only where it lies within
// those few ulp of a rounding tie. After the inverse every value is finite: NaN and -infinity become 0
// (so a base below 0 under a non-integral gamma exponent, or a logarithm of 0 or below, gives 0),
// +infinity becomes 1.
#pragma once

#include <cstdint>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "engine/correction_kernels.h"

namespace aperlume {

// The instruction set of the inverse: both give the same bits; kBest is AVX2 where the processor has it.
enum class CorrectionPath : std::uint8_t { kBest, kBaseline, kAvx2 };
[[nodiscard]] bool CorrectionPathAvailable(CorrectionPath path) noexcept;

class HighlightCorrection {
public:
    // `bytesPerSample` chooses the table (1: 8-bit samples, 2: 16-bit ones). kOutOfMemory when the table
    // cannot be had. The path must be available.
    [[nodiscard]] Result Prepare(const FilterParameters& settings, int bytesPerSample,
                                 CorrectionPath path = CorrectionPath::kBest) noexcept;

    // Whether the correction changes values at all.
    [[nodiscard]] bool Corrects() const noexcept { return kind_ != Kind::kNone; }
    void Forward(float* row, std::int32_t count) const noexcept;
    // The inverse, then every value made finite.
    void Inverse(float* row, std::int32_t count) const noexcept;

private:
    enum class Kind : std::uint8_t { kNone, kGamma, kLog };
    struct Entry {
        float key;
        float value;
    };
    float ForwardValue(float v) const noexcept;

    Kind kind_ = Kind::kNone;
    double f_ = 0.0;
    Buffer<Entry> table_;  // sample value -> corrected value, for samples 0..white
    float white_ = 0.0f;
    correction::InverseConstants inverse_{};
    correction::InverseRowFunction inverseRow_ = &correction::baseline::InverseRow;
};

// NaN and -infinity become 0, +infinity 1: for planes the correction does not touch.
void MakeFinite(float* row, std::int32_t count) noexcept;

}  // namespace aperlume
