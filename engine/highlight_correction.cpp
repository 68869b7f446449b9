// The highlight correction: the forward table, the constants of the inverse, and the choice of the
// inverse's instruction set. The baseline copy of the inverse's kernels is built here.
#include "engine/highlight_correction.h"

#include <bit>
#include <cmath>

#include "base/sample_values.h"

#define APERLUME_CORRECTION_LANES baseline_lanes
#include "engine/correction_lanes.h"

namespace aperlume {
namespace correction::baseline {

void InverseRow(const InverseConstants& constants, float* row, std::int32_t count) {
    typedef float Float4 __attribute__((vector_size(16)));
    typedef std::int32_t Int4 __attribute__((vector_size(16)));
    baseline_lanes::InverseRow<Float4, Int4>(constants, row, count);
}

}  // namespace correction::baseline

namespace {

constexpr double kBrightnessScale = 0.1;

// `value` rounded to float with its last 9 significant bits cleared, and the remainder: the high part
// times any exponent of a float (at most 9 bits) is exact.
void SplitConstant(double value, float& high, float& low) {
    high = std::bit_cast<float>(std::bit_cast<std::uint32_t>(static_cast<float>(value)) & ~std::uint32_t{0x1ff});
    low = static_cast<float>(value - high);
}

correction::InverseConstants GammaInverse(double exponent) {
    using correction::NegativeBase;
    correction::InverseConstants c{};
    c.kind = correction::InverseKind::kGamma;
    c.negativeBase = std::floor(exponent) != exponent          ? NegativeBase::kNotANumber
                     : std::fmod(exponent, 2.0) == 0.0 ? NegativeBase::kEven
                                                       : NegativeBase::kOdd;
    SplitConstant(exponent, c.octaveHigh, c.octaveLow);
    c.perNat = static_cast<float>(exponent / std::log(2.0));
    return c;
}

correction::InverseConstants LogInverse(double f) {
    correction::InverseConstants c{};
    c.kind = correction::InverseKind::kLog;
    SplitConstant(std::log10(2.0) / f, c.octaveHigh, c.octaveLow);
    c.perNat = static_cast<float>(1.0 / (std::log(10.0) * f));
    return c;
}

}  // namespace

bool CorrectionPathAvailable(CorrectionPath path) noexcept {
    if (path != CorrectionPath::kAvx2) return true;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

Result HighlightCorrection::Prepare(const FilterParameters& settings, int bytesPerSample,
                                    CorrectionPath path) noexcept {
    if (path == CorrectionPath::kBest)
        path = CorrectionPathAvailable(CorrectionPath::kAvx2) ? CorrectionPath::kAvx2 : CorrectionPath::kBaseline;
    inverseRow_ = path == CorrectionPath::kAvx2 ? &correction::avx2::InverseRow : &correction::baseline::InverseRow;
    f_ = settings.brightness * kBrightnessScale;
    inverse_ = correction::InverseConstants{};
    kind_ = Kind::kNone;
    table_.reset();
    // A brightness of 0 (or below) could come only from scripting; with it the gamma pair would turn
    // every value into 1 and back through an infinite power, so no correction is made.
    if (!(f_ > 0.0) || (settings.correction != 0 && settings.correction != 1)) return kOk;

    const std::int32_t white = SampleWhite(bytesPerSample);
    table_ = AllocateBuffer<Entry>(static_cast<std::size_t>(white) + 1);
    if (table_ == nullptr) return kOutOfMemory;
    kind_ = settings.correction == 0 ? Kind::kGamma : Kind::kLog;
    white_ = static_cast<float>(white);
    for (std::int32_t s = 0; s <= white; ++s) {
        const float key = SampleValue(static_cast<std::uint32_t>(s), bytesPerSample);
        table_[static_cast<std::size_t>(s)] = Entry{key, ForwardValue(key)};
    }
    if (kind_ == Kind::kLog) {
        inverse_ = LogInverse(f_);
    } else if (const double exponent = 1.0 / f_; exponent != 1.0) {
        inverse_ = GammaInverse(exponent);
    }  // an exponent of 1 gives every value back as it is
    return kOk;
}

float HighlightCorrection::ForwardValue(float v) const noexcept {
    return kind_ == Kind::kGamma ? static_cast<float>(std::pow(v, f_)) : static_cast<float>(std::pow(10.0, v * f_));
}

void HighlightCorrection::Forward(float* row, std::int32_t count) const noexcept {
    if (kind_ == Kind::kNone) return;
    for (std::int32_t i = 0; i < count; ++i) {
        const float v = row[i];
        const float scaled = v * white_;
        // The table holds each sample value's own result; any other value (one that is not a sample of
        // this depth, -0, NaN) is computed.
        if (scaled >= 0.0f && scaled <= white_) {
            const Entry& entry = table_[static_cast<std::size_t>(scaled + 0.5f)];
            if (std::bit_cast<std::uint32_t>(entry.key) == std::bit_cast<std::uint32_t>(v)) {
                row[i] = entry.value;
                continue;
            }
        }
        row[i] = ForwardValue(v);
    }
}

void HighlightCorrection::Inverse(float* row, std::int32_t count) const noexcept { inverseRow_(inverse_, row, count); }

void MakeFinite(float* row, std::int32_t count) noexcept {
    correction::baseline::InverseRow(correction::InverseConstants{}, row, count);
}

}  // namespace aperlume
