// The inverse highlight correction, written once over a vector of floats and compiled once per
// instruction set: each including file defines APERLUME_CORRECTION_LANES, the namespace that keeps its
// copy apart (the copy built for AVX2 must never be what a baseline caller links to).
//
// Every lane goes through the same IEEE single-precision operations in the same order whatever the
// vector width, and no file that includes this one contracts a multiply and an add, so both copies give
// the same bits.
//
// The inverse of both corrections starts from x = 2^k * m with m in [sqrt(1/2), sqrt(2)) and
// y = A*k + B*ln(m): A*k is split as Ahigh*k (exact: Ahigh keeps 15 bits, k at most 9) plus Alow*k, so
// that y keeps nearly full precision where k is large. The gamma inverse is then 2^y, with y reduced to
// an integer and a fraction in [-1/2, 1/2] before the polynomial; the logarithmic inverse is y itself.
#pragma once

#ifndef APERLUME_CORRECTION_LANES
#error "APERLUME_CORRECTION_LANES names the namespace of this instruction set's copy"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/correction_kernels.h"

namespace aperlume::correction::APERLUME_CORRECTION_LANES {

// FloatVector and IntVector: vectors of float and of std::int32_t of the same size.
template <class FloatVector, class IntVector>
struct Lanes {
    using F = FloatVector;
    using I = IntVector;
    static_assert(sizeof(F) == sizeof(I));
    static constexpr int kCount = static_cast<int>(sizeof(F) / sizeof(float));

    static F Broadcast(float v) { return F{} + v; }
    static I Broadcast(std::int32_t v) { return I{} + v; }
    template <class To, class From>
    static To Bits(From from) {
        To to;
        std::memcpy(&to, &from, sizeof to);
        return to;
    }
    static F Select(I mask, F yes, F no) { return Bits<F>((mask & Bits<I>(yes)) | (~mask & Bits<I>(no))); }
    // The nearest integer (ties to even) as a float, for |x| < 2^22.
    static F RoundToInteger(F x) {
        const F magic = Broadcast(12582912.0f);  // 1.5 * 2^23
        return (x + magic) - magic;
    }
};

// x (positive and finite, subnormals included) as 2^k * m: k, and ln(m) by a polynomial in u = m - 1
// whose leading term u is exact.
template <class L>
void SplitLogarithm(typename L::F x, typename L::F& k, typename L::F& lnM) {
    using F = typename L::F;
    using I = typename L::I;
    const I subnormal = x < L::Broadcast(1.17549435e-38f);
    x = L::Select(subnormal, x * L::Broadcast(8388608.0f), x);  // * 2^23
    // Without the sign: a negative x (whose result the callers throw away) must not overflow the
    // subtraction below.
    const I bits = L::template Bits<I>(x) & L::Broadcast(std::int32_t{INT32_MAX});
    const I exponent = (bits - L::Broadcast(std::int32_t{0x3f3504f3})) >> 23;  // 0x3f3504f3: sqrt(1/2)
    const F m = L::template Bits<F>(bits - (exponent << 23));
    k = __builtin_convertvector(exponent, F) - L::Select(subnormal, L::Broadcast(23.0f), F{});
    const F u = m - L::Broadcast(1.0f);
    const F z = u * u;
    F p = L::Broadcast(7.0376836292e-2f);
    p = p * u + L::Broadcast(-1.1514610310e-1f);
    p = p * u + L::Broadcast(1.1676998740e-1f);
    p = p * u + L::Broadcast(-1.2420140846e-1f);
    p = p * u + L::Broadcast(1.4249322787e-1f);
    p = p * u + L::Broadcast(-1.6668057665e-1f);
    p = p * u + L::Broadcast(2.0000714765e-1f);
    p = p * u + L::Broadcast(-2.4999993993e-1f);
    p = p * u + L::Broadcast(3.3333331174e-1f);
    lnM = u + (p * u * z - L::Broadcast(0.5f) * z);
}

// 2^(n + r) for integral n and |r| <= 1/2, scaled in two steps so that results down in the subnormals
// are rounded once and overflow gives infinity.
template <class L>
typename L::F Exp2(typename L::F n, typename L::F r) {
    using F = typename L::F;
    using I = typename L::I;
    F p = L::Broadcast(1.5461447765e-4f);
    p = p * r + L::Broadcast(1.3390866807e-3f);
    p = p * r + L::Broadcast(9.6180569381e-3f);
    p = p * r + L::Broadcast(5.5503569543e-2f);
    p = p * r + L::Broadcast(2.4022650719e-1f);
    p = p * r + L::Broadcast(6.9314718246e-1f);
    const F mantissa = L::Broadcast(1.0f) + r * p;
    I whole = __builtin_convertvector(n, I);
    const I low = L::Broadcast(std::int32_t{-252});
    const I high = L::Broadcast(std::int32_t{256});
    const I belowLow = whole < low;
    whole = (belowLow & low) | (~belowLow & whole);
    const I aboveHigh = whole > high;
    whole = (aboveHigh & high) | (~aboveHigh & whole);
    const I half = whole >> 1;
    const I bias = L::Broadcast(std::int32_t{127});
    return mantissa * L::template Bits<F>((half + bias) << 23) * L::template Bits<F>((whole - half + bias) << 23);
}

template <class L>
typename L::F InverseGamma(const InverseConstants& c, typename L::F x) {
    using F = typename L::F;
    using I = typename L::I;
    const I signBit = L::Broadcast(std::int32_t{INT32_MIN});
    const F magnitude = L::template Bits<F>(L::template Bits<I>(x) & ~signBit);
    F k, lnM;
    SplitLogarithm<L>(magnitude, k, lnM);
    const F whole = L::Broadcast(c.octaveHigh) * k;
    const F rest = L::Broadcast(c.octaveLow) * k + L::Broadcast(c.perNat) * lnM;
    F n = L::RoundToInteger(whole);
    F r = (whole - n) + rest;
    const F carry = L::RoundToInteger(r);
    r = r - carry;
    n = n + carry;
    F power = Exp2<L>(n, r);
    const F infinity = L::Broadcast(__builtin_inff());
    power = L::Select(magnitude == F{}, F{}, power);
    power = L::Select(magnitude == infinity, infinity, power);
    power = L::Select(magnitude == magnitude, power, magnitude);  // NaN stays NaN
    // pow's rule for a negative base: an odd integral exponent keeps the sign, an even one drops it, any
    // other gives no number for a finite base (0 below) and +infinity for -infinity.
    const I negative = (L::template Bits<I>(x) & signBit) != I{};
    if (c.negativeBase == NegativeBase::kOdd) {
        power = L::template Bits<F>(L::template Bits<I>(power) | (L::template Bits<I>(x) & signBit));
    } else if (c.negativeBase == NegativeBase::kNotANumber) {
        power = L::Select(negative & (magnitude > F{}) & (magnitude < infinity), F{}, power);
    }
    return power;
}

template <class L>
typename L::F InverseLog(const InverseConstants& c, typename L::F x) {
    using F = typename L::F;
    F k, lnM;
    SplitLogarithm<L>(x, k, lnM);
    const F y = L::Broadcast(c.octaveHigh) * k + (L::Broadcast(c.octaveLow) * k + L::Broadcast(c.perNat) * lnM);
    // Below zero (and NaN) the logarithm has no number, at zero it is -infinity: both come back as 0.
    const F infinity = L::Broadcast(__builtin_inff());
    return L::Select(x == infinity, infinity, L::Select((x > F{}) & (x < infinity), y, F{}));
}

// NaN and -infinity become 0, +infinity 1.
template <class L>
typename L::F Finite(typename L::F x) {
    using F = typename L::F;
    const F infinity = L::Broadcast(__builtin_inff());
    const auto finite = (x > -infinity) & (x < infinity);
    return L::Select(finite, x, L::Select(x > F{}, L::Broadcast(1.0f), F{}));
}

template <class L, class Operation>
void ForEachVector(float* row, std::int32_t count, Operation operation) {
    using F = typename L::F;
    std::int32_t i = 0;
    for (; i + L::kCount <= count; i += L::kCount) {
        F v;
        std::memcpy(&v, row + i, sizeof v);
        v = Finite<L>(operation(v));
        std::memcpy(row + i, &v, sizeof v);
    }
    if (i < count) {  // the tail in a vector of its own: the same operations on every value
        const auto tail = static_cast<std::size_t>(count - i) * sizeof(float);
        F v{};
        std::memcpy(&v, row + i, tail);
        v = Finite<L>(operation(v));
        std::memcpy(row + i, &v, tail);
    }
}

template <class FloatVector, class IntVector>
void InverseRow(const InverseConstants& c, float* row, std::int32_t count) {
    using L = Lanes<FloatVector, IntVector>;
    switch (c.kind) {
        case InverseKind::kGamma:
            ForEachVector<L>(row, count, [&c](typename L::F v) { return InverseGamma<L>(c, v); });
            break;
        case InverseKind::kLog:
            ForEachVector<L>(row, count, [&c](typename L::F v) { return InverseLog<L>(c, v); });
            break;
        case InverseKind::kNone:
            ForEachVector<L>(row, count, [](typename L::F v) { return v; });
            break;
    }
}

}  // namespace aperlume::correction::APERLUME_CORRECTION_LANES
