// The transform kernels, written once over a lane type and compiled once per instruction set: each
// including file defines APERLUME_FFT_LANES, the namespace that keeps its copy apart from the others
// (the same template built for AVX2 must never be what a baseline caller links to).
//
// Data layout of the kernels: a sequence of elements, each kWidth complex values held as K vectors of
// real parts followed by K vectors of imaginary parts (split form). Every butterfly then works on
// whole vectors with the twiddle factor broadcast, without shuffles; with K = 1 and a plain double the
// element is one interleaved complex value, the layout of the one-dimensional plan.
//
// The complex transform is Stockham's self-sorting form (decimation in frequency) with radix 4, 2, 3
// and 5 passes. Before a pass with factor p, the data are l1 independent transforms of ido*p points
// each; the pass reads the p-point group (i, j) of transform k at element i + ido*(j + p*k), does the
// p-point butterfly, rotates output m by w^(i*m) with w = exp(-+2*pi*i/(ido*p)) and writes it to element
// i + ido*(k + l1*m): l1*p transforms of ido points each. The passes alternate between two buffers and
// leave the result in natural order, so no bit reversal or reordering pass is needed.
#pragma once

#ifndef APERLUME_FFT_LANES
#error "APERLUME_FFT_LANES names the namespace of this instruction set's copy"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "fft/fft_internal.h"

namespace aperlume::fft::APERLUME_FFT_LANES {

using detail::Index;

template <class V>
struct Cx {
    V re;
    V im;
};

template <class V>
inline Cx<V> operator+(Cx<V> a, Cx<V> b) { return {a.re + b.re, a.im + b.im}; }
template <class V>
inline Cx<V> operator-(Cx<V> a, Cx<V> b) { return {a.re - b.re, a.im - b.im}; }
template <class V>
inline Cx<V> Scale(Cx<V> a, double f) { return {a.re * f, a.im * f}; }
// i * a times a real factor.
template <class V>
inline Cx<V> TimesI(Cx<V> a, double f) { return {a.im * -f, a.re * f}; }

// a * exp(+-i*angle) given cos and sin of the angle: + for the inverse transform, - for the forward.
template <bool kInverse, class V>
inline Cx<V> Rotate(Cx<V> a, double c, double s) {
    if constexpr (kInverse) return {a.re * c - a.im * s, a.re * s + a.im * c};
    else return {a.re * c + a.im * s, a.im * c - a.re * s};
}

template <class V, int K>
struct Lanes {
    using Vector = V;
    static constexpr int kVectors = K;
    static constexpr Index kWidth = K * static_cast<Index>(sizeof(V) / sizeof(double));
    static constexpr Index kStride = 2 * K;  // vectors per element

    static Cx<V> Load(const V* element, int v) { return {element[v], element[K + v]}; }
    static void Store(V* element, int v, Cx<V> x) {
        element[v] = x.re;
        element[K + v] = x.im;
    }
};

// Output m of a group at i > 0 is rotated by the table entry of (i, m); at i = 0 the rotation is 1.
struct NoRotation {};
struct TableRotation {
    const double* entries;  // (cos, sin) for m = 1 .. p-1 of this i
};

template <bool kInverse, class V>
inline Cx<V> Apply(NoRotation, int, Cx<V> x) { return x; }
template <bool kInverse, class V>
inline Cx<V> Apply(TableRotation r, int m, Cx<V> x) {
    return Rotate<kInverse>(x, r.entries[2 * (m - 1)], r.entries[2 * (m - 1) + 1]);
}

// One pass of factor P: Butterfly turns P inputs into P outputs in place.
template <class L, bool kInverse, int P, class Butterfly>
inline void Pass(Index ido, Index l1, const typename L::Vector* cc, typename L::Vector* ch, const double* twiddles,
                 Butterfly butterfly) {
    using V = typename L::Vector;
    constexpr Index S = L::kStride;
    const Index inStep = ido * S;
    const Index outStep = ido * l1 * S;
    auto group = [&](Index i, Index k, auto rotation) {
        const V* in = cc + (i + ido * P * k) * S;
        V* out = ch + (i + ido * k) * S;
        // Unrolled by force: left as loops, the P values would live in memory instead of registers.
#pragma GCC unroll 4
        for (int v = 0; v < L::kVectors; ++v) {
            Cx<V> x[P];
#pragma GCC unroll 8
            for (int j = 0; j < P; ++j) x[j] = L::Load(in + j * inStep, v);
            butterfly(x);
            L::Store(out, v, x[0]);
#pragma GCC unroll 8
            for (int m = 1; m < P; ++m) L::Store(out + m * outStep, v, Apply<kInverse>(rotation, m, x[m]));
        }
    };
    for (Index k = 0; k < l1; ++k) {
        group(0, k, NoRotation{});
        for (Index i = 1; i < ido; ++i) group(i, k, TableRotation{twiddles + 2 * (P - 1) * (i - 1)});
    }
}

template <bool kInverse>
struct Butterflies {
    // The direction's sign on every sine: exp(-2*pi*i/p) forward, exp(+2*pi*i/p) inverse.
    static constexpr double kSign = kInverse ? 1.0 : -1.0;

    template <class V>
    static void Two(Cx<V>* x) {
        const Cx<V> a = x[0];
        x[0] = a + x[1];
        x[1] = a - x[1];
    }
    template <class V>
    static void Three(Cx<V>* x) {
        constexpr double kSin = 0.86602540378443864676 * kSign;  // sin(2*pi/3)
        const Cx<V> t = x[1] + x[2];
        const Cx<V> d = TimesI(x[1] - x[2], kSin);
        const Cx<V> c = x[0] + Scale(t, -0.5);
        x[0] = x[0] + t;
        x[1] = c + d;
        x[2] = c - d;
    }
    template <class V>
    static void Four(Cx<V>* x) {
        const Cx<V> t0 = x[0] + x[2];
        const Cx<V> t1 = x[0] - x[2];
        const Cx<V> t2 = x[1] + x[3];
        const Cx<V> t3 = TimesI(x[1] - x[3], kSign);
        x[0] = t0 + t2;
        x[2] = t0 - t2;
        x[1] = t1 + t3;
        x[3] = t1 - t3;
    }
    template <class V>
    static void Five(Cx<V>* x) {
        constexpr double kCos1 = 0.30901699437494742410;   // cos(2*pi/5)
        constexpr double kCos2 = -0.80901699437494742410;  // cos(4*pi/5)
        constexpr double kSin1 = 0.95105651629515357212 * kSign;
        constexpr double kSin2 = 0.58778525229247312917 * kSign;
        const Cx<V> t1 = x[1] + x[4];
        const Cx<V> t4 = x[1] - x[4];
        const Cx<V> t2 = x[2] + x[3];
        const Cx<V> t3 = x[2] - x[3];
        const Cx<V> a = x[0];
        const Cx<V> ca = a + Scale(t1, kCos1) + Scale(t2, kCos2);
        const Cx<V> cb = a + Scale(t1, kCos2) + Scale(t2, kCos1);
        const Cx<V> da = TimesI(t4, kSin1) + TimesI(t3, kSin2);
        const Cx<V> db = TimesI(t4, kSin2) - TimesI(t3, kSin1);
        x[0] = a + t1 + t2;
        x[1] = ca + da;
        x[4] = ca - da;
        x[2] = cb + db;
        x[3] = cb - db;
    }
};

// The complex transform of every lane of the core.length elements in a; b is as large. Returns the
// buffer that holds the result. The twiddle table comes as a plain pointer: no inline function of the
// standard library is instantiated here, whose copy built for AVX2 the linker might give to every caller.
template <class L, bool kInverse>
typename L::Vector* Transform(const detail::Factorization& core, const double* table, typename L::Vector* a,
                              typename L::Vector* b) {
    using V = typename L::Vector;
    using B = Butterflies<kInverse>;
    Index l1 = 1;
    for (int s = 0; s < core.factorCount; ++s) {
        const int p = core.factors[s];
        const Index ido = core.length / (l1 * p);
        const double* twiddles = table + 2 * static_cast<Index>(core.twiddleOffsets[s]);
        switch (p) {
            case 4: Pass<L, kInverse, 4>(ido, l1, a, b, twiddles, [](Cx<V>* x) { B::Four(x); }); break;
            case 2: Pass<L, kInverse, 2>(ido, l1, a, b, twiddles, [](Cx<V>* x) { B::Two(x); }); break;
            case 3: Pass<L, kInverse, 3>(ido, l1, a, b, twiddles, [](Cx<V>* x) { B::Three(x); }); break;
            default: Pass<L, kInverse, 5>(ido, l1, a, b, twiddles, [](Cx<V>* x) { B::Five(x); }); break;
        }
        std::swap(a, b);
        l1 *= p;
    }
    return a;
}

// Lane blocks to and from strided interleaved complex data: element e of lane l is the complex value
// at base + e * elementStride + l * laneStride. Lanes past `lanes` read zeros on the way in (so that no
// stale value, a NaN or a subnormal, slows the arithmetic) and are dropped on the way out. Vectors are
// built in registers: assembling them through memory would stall every load on the stores before it.
template <class V>
inline double GetLane(const V& x, int t) {
    if constexpr (sizeof(V) == sizeof(double)) return x;
    else return x[t];
}

template <class V>
inline V VectorAt(const double* const* lanes, const Index* steps, Index element, int part) {
    if constexpr (sizeof(V) == sizeof(double)) return lanes[0][element * steps[0] + part];
    else if constexpr (sizeof(V) == 2 * sizeof(double))
        return V{lanes[0][element * steps[0] + part], lanes[1][element * steps[1] + part]};
    else
        return V{lanes[0][element * steps[0] + part], lanes[1][element * steps[1] + part],
                 lanes[2][element * steps[2] + part], lanes[3][element * steps[3] + part]};
}

// The real and the imaginary parts of N interleaved complex values starting at p.
template <class V>
inline Cx<V> Deinterleave(const double* p) {
    if constexpr (sizeof(V) == sizeof(double)) {
        return {p[0], p[1]};
    } else {
        V x;
        V y;
        std::memcpy(&x, p, sizeof(V));
        std::memcpy(&y, p + sizeof(V) / sizeof(double), sizeof(V));
        if constexpr (sizeof(V) == 2 * sizeof(double))
            return {__builtin_shufflevector(x, y, 0, 2), __builtin_shufflevector(x, y, 1, 3)};
        else
            return {__builtin_shufflevector(x, y, 0, 2, 4, 6), __builtin_shufflevector(x, y, 1, 3, 5, 7)};
    }
}

template <class V>
inline void Interleave(Cx<V> c, double* p) {
    if constexpr (sizeof(V) == sizeof(double)) {
        p[0] = c.re;
        p[1] = c.im;
    } else {
        V x;
        V y;
        if constexpr (sizeof(V) == 2 * sizeof(double)) {
            x = __builtin_shufflevector(c.re, c.im, 0, 2);
            y = __builtin_shufflevector(c.re, c.im, 1, 3);
        } else {
            x = __builtin_shufflevector(c.re, c.im, 0, 4, 1, 5);
            y = __builtin_shufflevector(c.re, c.im, 2, 6, 3, 7);
        }
        std::memcpy(p, &x, sizeof(V));
        std::memcpy(p + sizeof(V) / sizeof(double), &y, sizeof(V));
    }
}

template <class V>
inline V LoadVector(const double* p) {
    V x;
    std::memcpy(&x, p, sizeof(V));
    return x;
}
template <class V>
inline void StoreVector(V x, double* p) {
    std::memcpy(p, &x, sizeof(V));
}

// Whole lane blocks across rows (lane l is the row at base + l * laneStride, element e its complex value
// e): a register transpose of 2 x 2 (SSE2) or 4 x 4 (AVX2) doubles per step. Returns the number of
// elements done; an odd last one is left to the general path.
template <class L>
Index GatherAcrossRows(const double* base, Index laneStride, Index count, typename L::Vector* block) {
    using V = typename L::Vector;
    constexpr Index K = L::kVectors;
    if constexpr (sizeof(V) == 2 * sizeof(double)) {
        for (Index e = 0; e < count; ++e, block += L::kStride) {
            for (Index v = 0; v < K; ++v) {
                const V a = LoadVector<V>(base + 2 * v * laneStride + 2 * e);
                const V b = LoadVector<V>(base + (2 * v + 1) * laneStride + 2 * e);
                block[v] = __builtin_shufflevector(a, b, 0, 2);
                block[K + v] = __builtin_shufflevector(a, b, 1, 3);
            }
        }
        return count;
    } else if constexpr (sizeof(V) == 4 * sizeof(double) && K == 1) {
        Index e = 0;
        for (; e + 1 < count; e += 2, block += 2 * L::kStride) {
            const V r0 = LoadVector<V>(base + 2 * e);
            const V r1 = LoadVector<V>(base + laneStride + 2 * e);
            const V r2 = LoadVector<V>(base + 2 * laneStride + 2 * e);
            const V r3 = LoadVector<V>(base + 3 * laneStride + 2 * e);
            const V t0 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
            const V t1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
            const V t2 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
            const V t3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
            block[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            block[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            block[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            block[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        }
        return e;
    } else {
        return 0;
    }
}

template <class L>
Index ScatterAcrossRows(const typename L::Vector* block, Index count, double* base, Index laneStride) {
    using V = typename L::Vector;
    constexpr Index K = L::kVectors;
    if constexpr (sizeof(V) == 2 * sizeof(double)) {
        for (Index e = 0; e < count; ++e, block += L::kStride) {
            for (Index v = 0; v < K; ++v) {
                StoreVector<V>(__builtin_shufflevector(block[v], block[K + v], 0, 2), base + 2 * v * laneStride + 2 * e);
                StoreVector<V>(__builtin_shufflevector(block[v], block[K + v], 1, 3),
                               base + (2 * v + 1) * laneStride + 2 * e);
            }
        }
        return count;
    } else if constexpr (sizeof(V) == 4 * sizeof(double) && K == 1) {
        Index e = 0;
        for (; e + 1 < count; e += 2, block += 2 * L::kStride) {
            const V u0 = __builtin_shufflevector(block[0], block[1], 0, 4, 2, 6);
            const V u1 = __builtin_shufflevector(block[0], block[1], 1, 5, 3, 7);
            const V u2 = __builtin_shufflevector(block[2], block[3], 0, 4, 2, 6);
            const V u3 = __builtin_shufflevector(block[2], block[3], 1, 5, 3, 7);
            StoreVector<V>(__builtin_shufflevector(u0, u2, 0, 1, 4, 5), base + 2 * e);
            StoreVector<V>(__builtin_shufflevector(u1, u3, 0, 1, 4, 5), base + laneStride + 2 * e);
            StoreVector<V>(__builtin_shufflevector(u0, u2, 2, 3, 6, 7), base + 2 * laneStride + 2 * e);
            StoreVector<V>(__builtin_shufflevector(u1, u3, 2, 3, 6, 7), base + 3 * laneStride + 2 * e);
        }
        return e;
    } else {
        return 0;
    }
}

template <class L>
void Gather(const double* base, Index elementStride, Index laneStride, Index lanes, Index count,
            typename L::Vector* block) {
    using V = typename L::Vector;
    constexpr int kPerVector = static_cast<int>(sizeof(V) / sizeof(double));
    if (lanes == L::kWidth && laneStride == 2) {  // a run of whole lane blocks along each element
        for (Index e = 0; e < count; ++e, block += L::kStride) {
            const double* in = base + e * elementStride;
            for (int v = 0; v < L::kVectors; ++v) {
                const Cx<V> c = Deinterleave<V>(in + 2 * kPerVector * v);
                block[v] = c.re;
                block[L::kVectors + v] = c.im;
            }
        }
        return;
    }
    if (lanes == L::kWidth && elementStride == 2) {
        const Index done = GatherAcrossRows<L>(base, laneStride, count, block);
        base += 2 * done;
        count -= done;
        block += done * L::kStride;
    }
    static constexpr double kZero[2] = {0.0, 0.0};
    const double* starts[L::kWidth];
    Index steps[L::kWidth];
    for (Index l = 0; l < L::kWidth; ++l) {
        starts[l] = l < lanes ? base + l * laneStride : kZero;
        steps[l] = l < lanes ? elementStride : 0;
    }
    for (Index e = 0; e < count; ++e, block += L::kStride) {
        for (int v = 0; v < L::kVectors; ++v) {
            block[v] = VectorAt<V>(starts + v * kPerVector, steps + v * kPerVector, e, 0);
            block[L::kVectors + v] = VectorAt<V>(starts + v * kPerVector, steps + v * kPerVector, e, 1);
        }
    }
}

template <class L>
void Scatter(const typename L::Vector* block, Index lanes, Index count, double* base, Index elementStride,
             Index laneStride) {
    using V = typename L::Vector;
    constexpr int kPerVector = static_cast<int>(sizeof(V) / sizeof(double));
    if (lanes == L::kWidth && laneStride == 2) {
        for (Index e = 0; e < count; ++e, block += L::kStride) {
            double* out = base + e * elementStride;
            for (int v = 0; v < L::kVectors; ++v) Interleave<V>({block[v], block[L::kVectors + v]}, out + 2 * kPerVector * v);
        }
        return;
    }
    if (lanes == L::kWidth && elementStride == 2) {
        const Index done = ScatterAcrossRows<L>(block, count, base, laneStride);
        base += 2 * done;
        count -= done;
        block += done * L::kStride;
    }
    for (Index e = 0; e < count; ++e, block += L::kStride) {
        double* out = base + e * elementStride;
        for (Index l = 0; l < lanes; ++l) {
            const int v = static_cast<int>(l) / kPerVector;
            const int t = static_cast<int>(l) % kPerVector;
            out[l * laneStride] = GetLane(block[v], t);
            out[l * laneStride + 1] = GetLane(block[L::kVectors + v], t);
        }
    }
}

// The shape of a two-dimensional plan as the kernels see it, with their two scratch blocks, each long
// enough for a column (R elements) or an unpacked row (M + 1).
template <class L>
struct Plane {
    Plane(const detail::Real2dTables& t, double* scratch)
        : tables(t), m(t.rowCore->length), rows(t.columnCore->length) {
        const Index elements = rows > m + 1 ? rows : m + 1;
        const auto address = reinterpret_cast<std::uintptr_t>(scratch);
        const auto aligned = (address + detail::kScratchAlignment - 1) & ~(std::uintptr_t{detail::kScratchAlignment} - 1);
        a = reinterpret_cast<typename L::Vector*>(aligned);
        b = a + elements * L::kStride;
    }
    Index Lanes(Index from, Index end) const { return end - from < L::kWidth ? end - from : L::kWidth; }

    const detail::Real2dTables& tables;
    Index m;
    Index rows;
    typename L::Vector* a;
    typename L::Vector* b;
};

// Every column of the half spectrum, kWidth columns at a time.
template <class L, bool kInverse>
void ColumnPass(const Plane<L>& plane, double* spectrum, Index stride) {
    const Index columns = plane.m + 1;
    for (Index c = 0; c < columns; c += L::kWidth) {
        const Index lanes = plane.Lanes(c, columns);
        Gather<L>(spectrum + 2 * c, stride, 2, lanes, plane.rows, plane.a);
        const auto* result = Transform<L, kInverse>(*plane.tables.columnCore, plane.tables.columnTwiddles, plane.a, plane.b);
        Scatter<L>(result, lanes, plane.rows, spectrum + 2 * c, stride, 2);
    }
}

// Rewrites every mirrored pair (Z[k], Z[M-k]), 1 <= k <= M/2, as step(Z[k], Z[M-k], cos, sin) gives
// it, with cos and sin of 2*pi*k/C. At k = M/2 both are the same element; step then gives it twice.
template <class L, class Step>
void ForMirroredPairs(typename L::Vector* z, Index m, const double* realTwiddles, Step step) {
    using V = typename L::Vector;
    for (Index k = 1; 2 * k <= m; ++k) {
        const double c = realTwiddles[2 * k];
        const double s = realTwiddles[2 * k + 1];
        V* low = z + k * L::kStride;
        V* high = z + (m - k) * L::kStride;
        for (int v = 0; v < L::kVectors; ++v) {
            const auto [newLow, newHigh] = step(L::Load(low, v), L::Load(high, v), c, s);
            L::Store(low, v, newLow);
            L::Store(high, v, newHigh);
        }
    }
}

// The real row transform through a complex one of half the length: the row read as M = C/2 complex
// values z[k] = x[2k] + i*x[2k+1] has the transform Z, from which, with E and O the transforms of the
// even and odd samples,
//     E[k] = (Z[k] + conj Z[M-k]) / 2,   O[k] = (Z[k] - conj Z[M-k]) / 2i,
//     X[k] = E[k] + w^k O[k],   X[M-k] = conj(E[k] - w^k O[k]),   w = exp(-2*pi*i/C).
// No transform is spent on zeros. Carrying two real rows as one complex row costs the same arithmetic,
// but ties rows in pairs that odd row counts and InverseRows' windows would have to split again; here
// each row stands alone, and lane blocks vectorise across rows anyway.
template <class L>
void UnpackRealRows(typename L::Vector* z, Index m, const double* realTwiddles) {
    using V = typename L::Vector;
    for (int v = 0; v < L::kVectors; ++v) {
        const Cx<V> z0 = L::Load(z, v);
        L::Store(z, v, {z0.re + z0.im, V{}});
        L::Store(z + m * L::kStride, v, {z0.re - z0.im, V{}});
    }
    ForMirroredPairs<L>(z, m, realTwiddles, [](Cx<V> p, Cx<V> q, double c, double s) {
        const Cx<V> even{(p.re + q.re) * 0.5, (p.im - q.im) * 0.5};
        const Cx<V> r = Rotate<false>(Cx<V>{(p.im + q.im) * 0.5, (q.re - p.re) * 0.5}, c, s);
        return std::pair<Cx<V>, Cx<V>>{{even.re + r.re, even.im + r.im}, {even.re - r.re, r.im - even.im}};
    });
}

// The inverse of UnpackRealRows, without its halving: from X[0..M] the packed Z[0..M-1] with
//     Z[k] = E[k] + i*O[k],  E[k] = X[k] + conj X[M-k],  O[k] = (X[k] - conj X[M-k]) * conj(w^k),
// so that the inverse complex transform of Z gives C * (x[2k] + i*x[2k+1]).
template <class L>
void PackRealRows(typename L::Vector* z, Index m, const double* realTwiddles) {
    using V = typename L::Vector;
    for (int v = 0; v < L::kVectors; ++v) {
        const Cx<V> first = L::Load(z, v);
        const Cx<V> last = L::Load(z + m * L::kStride, v);
        L::Store(z, v, {first.re + last.re, first.re - last.re});
    }
    ForMirroredPairs<L>(z, m, realTwiddles, [](Cx<V> p, Cx<V> q, double c, double s) {
        const Cx<V> even{p.re + q.re, p.im - q.im};
        const Cx<V> odd = Rotate<true>(Cx<V>{p.re - q.re, p.im + q.im}, c, s);
        return std::pair<Cx<V>, Cx<V>>{{even.re - odd.im, even.im + odd.re}, {even.re + odd.im, odd.re - even.im}};
    });
}

template <class L>
void Forward2d(const detail::Real2dTables& tables, const double* real, Index realStride, double* spectrum,
               Index spectrumStride, double* scratch) noexcept {
    const Plane<L> plane(tables, scratch);
    for (Index y = 0; y < plane.rows; y += L::kWidth) {
        const Index lanes = plane.Lanes(y, plane.rows);
        Gather<L>(real + y * realStride, 2, realStride, lanes, plane.m, plane.a);
        auto* z = Transform<L, false>(*tables.rowCore, tables.rowTwiddles, plane.a, plane.b);
        UnpackRealRows<L>(z, plane.m, tables.realTwiddles);
        Scatter<L>(z, lanes, plane.m + 1, spectrum + y * spectrumStride, 2, spectrumStride);
    }
    ColumnPass<L, false>(plane, spectrum, spectrumStride);
}

template <class L>
void Inverse2d(const detail::Real2dTables& tables, double* spectrum, Index spectrumStride, double* real,
               Index realStride, Index firstRow, Index rowCount, double* scratch) noexcept {
    const Plane<L> plane(tables, scratch);
    ColumnPass<L, true>(plane, spectrum, spectrumStride);
    const Index end = firstRow + rowCount;
    for (Index y = firstRow; y < end; y += L::kWidth) {
        const Index lanes = plane.Lanes(y, end);
        Gather<L>(spectrum + y * spectrumStride, 2, spectrumStride, lanes, plane.m + 1, plane.a);
        PackRealRows<L>(plane.a, plane.m, tables.realTwiddles);
        const auto* x = Transform<L, true>(*tables.rowCore, tables.rowTwiddles, plane.a, plane.b);
        Scatter<L>(x, lanes, plane.m, real + y * realStride, 2, realStride);
    }
}

// The entry points of this instruction set's copy.
template <class L>
constexpr detail::RealKernels KernelsFor() {
    return {&Forward2d<L>, &Inverse2d<L>};
}

}  // namespace aperlume::fft::APERLUME_FFT_LANES
