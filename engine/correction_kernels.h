// The inverse highlight correction's row kernels, one copy per instruction set (engine/correction_lanes.h),
// and the constants they share, prepared once per render in double precision.
#pragma once

#include <cstdint>

namespace aperlume::correction {

enum class InverseKind : std::uint8_t {
    kNone,   // only the non-finite values are replaced (no correction, or a gamma exponent of exactly 1)
    kGamma,  // x^e = 2^(e * log2 x)
    kLog,    // log10(x) / f
};

// What pow gives for a negative base under the gamma inverse's exponent.
enum class NegativeBase : std::uint8_t { kNotANumber, kEven, kOdd };

// y = octave * k + perNat * ln(m) for x = 2^k * m; octave = octaveHigh + octaveLow, octaveHigh keeping
// 15 significant bits. Gamma: octave = e, perNat = e / ln 2. Log: octave = log10(2) / f, perNat =
// log10(e) / f.
struct InverseConstants {
    InverseKind kind;
    NegativeBase negativeBase;
    float octaveHigh;
    float octaveLow;
    float perNat;
};

using InverseRowFunction = void (*)(const InverseConstants& constants, float* row, std::int32_t count);

// Each replaces row[0..count) by its inverse, then NaN and -infinity by 0 and +infinity by 1.
namespace baseline {
void InverseRow(const InverseConstants& constants, float* row, std::int32_t count);
}
namespace avx2 {
void InverseRow(const InverseConstants& constants, float* row, std::int32_t count);
}

}  // namespace aperlume::correction
