// Fast Fourier transforms in double precision for lengths 2^a * 3^b * 5^c: a one-dimensional complex
// plan, and the two-dimensional real-to-complex pair that convolution by tiles needs.
//
// Sign and scaling. Forward computes
//     X[k] = sum over j < n of x[j] * exp(-2*pi*i*j*k/n)
// and Inverse the same sum with exp(+2*pi*i*j*k/n). Neither scales: Inverse(Forward(x)) = n * x, and
// in two dimensions rows * columns * x.
//
// Lengths. A length is good when it is 2^a * 3^b * 5^c, 1 <= length <= kLargestLength. The real
// transform also needs an even column count whose half is good (GoodRealLengthAtLeast gives one).
//
// Layouts (all in doubles, strides counted in doubles, so rows may be padded):
// - ComplexPlan: n complex values interleaved, the real part of value j at 2*j, the imaginary at 2*j+1.
// - RealPlan2d, R rows by C columns: the real array has row y at real + y * realStride, C values each.
//   Its spectrum is the half plane X[u][v] for u < R, v <= C/2 (the other half is the complex conjugate
//   X[(R-u) % R][C-v]), row u at spectrum + u * spectrumStride, C/2 + 1 interleaved complex values each.
//   X[u][v] = sum over y < R, x < C of real[y][x] * exp(-2*pi*i*(y*u/R + x*v/C)).
//   Forward leaves the real array untouched. Inverse reads the half spectrum as the transform of a
//   real array: in columns 0 and C/2, which the half plane holds for both halves, only the Hermitian
//   part (X[u][v] + conj X[(R-u) % R][v]) / 2 counts (so the imaginary parts of X[0][0] and X[0][C/2]
//   are ignored); the other columns stand for their conjugate mirrors too. Inverse uses the spectrum
//   array as working space and leaves it unspecified. Both work in place: real and spectrum at the same
//   address with one stride of at least 2 * (C/2 + 1). Rows that start on 64-byte boundaries run a
//   little faster; any 8-byte alignment works.
//   InverseRows computes only output rows [firstRow, firstRow + rowCount) and writes nothing else:
//   overlap-save keeps only part of each tile, and the row passes of the others are saved.
//
// Plans and execution. Create allocates the tables through the house allocator and returns kOk,
// kBadParameters (a length that is not good, a zero or negative count, an odd or unusable column count,
// a processor path that this machine lacks) or kOutOfMemory; on failure the plan is left empty and
// nothing stays allocated. A plan is immutable once created: any number of threads may execute the same
// plan at once, each on its own data with its own scratch area of ScratchDoubles() doubles (any 8-byte
// alignment). Execution never allocates, never throws and cannot fail; it expects buffers of the sizes
// above, which it does not check. An empty plan (never created, or whose creation failed) does nothing.
//
// Accuracy, for x the input and ||x|| its Euclidean norm: every output value of Forward differs from the
// exact transform of x by at most 2^-51 * log2(n) * ||x||, n the number of points (R * C in two
// dimensions); the same holds for Inverse with x the whole plane that the half spectrum stands for.
// (Random data stays below half of that; a round trip returns n * x within 2^-50 * log2(n) * n * rms(x)
// per value.) Twiddle factors are within an ulp, computed in extended precision from the first octant,
// and quarter turns are exactly 0 and +-1, so the bound holds on every build and path.
//
// Processor paths. The two-dimensional plan runs on one of the SimdPath kernels; by default the fastest
// one this machine has. Asking for a particular one is for tests and measurements; every path honours
// the same contract and bound. The one-dimensional plan is scalar code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "base/working_memory.h"

namespace aperlume::fft {

inline constexpr std::int32_t kLargestLength = std::int32_t{1} << 24;

[[nodiscard]] bool IsGoodLength(std::int32_t length) noexcept;
// The smallest good length >= max(length, 1); 0 when it would exceed kLargestLength.
[[nodiscard]] std::int32_t GoodLengthAtLeast(std::int32_t length) noexcept;
// The smallest even length >= max(length, 2) whose half is good; 0 when it would exceed kLargestLength.
[[nodiscard]] std::int32_t GoodRealLengthAtLeast(std::int32_t length) noexcept;

enum class SimdPath : std::uint8_t {
    kBest,      // the fastest of the following that this machine has
    kBaseline,  // SSE2, every build
    kAvx2,      // AVX2 with FMA, chosen at run time where the processor has it
};
[[nodiscard]] bool SimdPathAvailable(SimdPath path) noexcept;

namespace detail {
struct RealKernels;
struct Real2dTables;

// The factors and twiddle table of one complex length, shared by both plans.
struct Factorization {
    static constexpr int kMaxFactors = 32;
    std::int32_t length = 0;
    std::int32_t factorCount = 0;
    std::int8_t factors[kMaxFactors] = {};
    std::int32_t twiddleOffsets[kMaxFactors] = {};  // in complex values, into twiddles
    Buffer<double> twiddles;

    [[nodiscard]] Result Create(std::int32_t n) noexcept;
};
}  // namespace detail

class ComplexPlan {
public:
    [[nodiscard]] static Result Create(std::int32_t length, ComplexPlan& plan) noexcept;

    [[nodiscard]] std::int32_t Length() const noexcept { return core_.length; }
    [[nodiscard]] std::size_t ScratchDoubles() const noexcept;

    // In place on 2 * Length() doubles.
    void Forward(double* data, double* scratch) const noexcept;
    void Inverse(double* data, double* scratch) const noexcept;

private:
    detail::Factorization core_;
};

class RealPlan2d {
public:
    [[nodiscard]] static Result Create(std::int32_t rows, std::int32_t columns, RealPlan2d& plan,
                                       SimdPath path = SimdPath::kBest) noexcept;

    [[nodiscard]] std::int32_t Rows() const noexcept { return columnCore_.length; }
    [[nodiscard]] std::int32_t Columns() const noexcept { return 2 * rowCore_.length; }
    [[nodiscard]] std::int32_t SpectrumColumns() const noexcept { return rowCore_.length + 1; }
    [[nodiscard]] SimdPath Path() const noexcept { return path_; }
    [[nodiscard]] std::size_t ScratchDoubles() const noexcept;

    void Forward(const double* real, std::ptrdiff_t realStride, double* spectrum, std::ptrdiff_t spectrumStride,
                 double* scratch) const noexcept;
    void Inverse(double* spectrum, std::ptrdiff_t spectrumStride, double* real, std::ptrdiff_t realStride,
                 double* scratch) const noexcept;
    void InverseRows(double* spectrum, std::ptrdiff_t spectrumStride, double* real, std::ptrdiff_t realStride,
                     std::int32_t firstRow, std::int32_t rowCount, double* scratch) const noexcept;

private:
    [[nodiscard]] detail::Real2dTables Tables() const noexcept;

    detail::Factorization rowCore_;     // the complex transform of C/2 points behind each real row
    detail::Factorization columnCore_;  // R points
    Buffer<double> realTwiddles_;       // exp(2*pi*i*k/C) for k <= C/4, the real-row unpacking
    SimdPath path_ = SimdPath::kBaseline;
    const detail::RealKernels* kernels_ = nullptr;
};

}  // namespace aperlume::fft
