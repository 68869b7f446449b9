// Plans: good lengths, factorisations, twiddle tables, and the choice of processor path.
#include <cmath>
#include <cstring>
#include <utility>

#include "fft/fft.h"
#include "fft/fft_internal.h"

namespace aperlume::fft {
namespace {

// Divides out 2, 3 and 5; 1 is left exactly for a good length.
std::int64_t SmoothPart(std::int64_t n) {
    for (const std::int64_t p : {2, 3, 5})
        while (n % p == 0) n /= p;
    return n;
}

}  // namespace

bool IsGoodLength(std::int32_t length) noexcept {
    return length >= 1 && length <= kLargestLength && SmoothPart(length) == 1;
}

std::int32_t GoodLengthAtLeast(std::int32_t length) noexcept {
    const std::int64_t target = length < 1 ? 1 : length;
    if (target > kLargestLength) return 0;
    // Every 3^b * 5^c below twice the target, raised by powers of two to the target; the least wins.
    std::int64_t best = std::int64_t{1} << 40;
    for (std::int64_t five = 1; five < 2 * target; five *= 5) {
        for (std::int64_t odd = five; odd < 2 * target; odd *= 3) {
            std::int64_t candidate = odd;
            while (candidate < target) candidate *= 2;
            if (candidate < best) best = candidate;
        }
    }
    return static_cast<std::int32_t>(best);
}

std::int32_t GoodRealLengthAtLeast(std::int32_t length) noexcept {
    const std::int32_t target = length < 2 ? 2 : length;
    if (target > kLargestLength) return 0;
    return 2 * GoodLengthAtLeast(target / 2 + target % 2);
}

bool SimdPathAvailable(SimdPath path) noexcept {
    switch (path) {
        case SimdPath::kBest:
        case SimdPath::kBaseline: return true;
        case SimdPath::kAvx2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }
    return false;
}

namespace detail {

void UnitRoot(std::int64_t j, std::int64_t n, double& cosine, double& sine) noexcept {
    // Reduce the fraction j/n of a turn to the first octant through exact integer symmetries, so that
    // cos and sin see arguments below pi/4 and quarter turns come out exactly.
    std::int64_t numerator = ((j % n) + n) % n;
    std::int64_t denominator = n;
    const bool lowerHalf = 2 * numerator > denominator;
    if (lowerHalf) numerator = denominator - numerator;  // angle -> -angle
    const bool leftHalf = 4 * numerator > denominator;
    if (leftHalf) {  // angle -> pi - angle
        numerator = denominator - 2 * numerator;
        denominator *= 2;
    }
    const bool upperOctant = 8 * numerator > denominator;
    if (upperOctant) {  // angle -> pi/2 - angle
        numerator = denominator - 4 * numerator;
        denominator *= 4;
    }
    constexpr long double kTwoPi = 6.283185307179586476925286766559L;
    const long double angle = kTwoPi * static_cast<long double>(numerator) / static_cast<long double>(denominator);
    double c = static_cast<double>(std::cos(angle));
    double s = static_cast<double>(std::sin(angle));
    if (upperOctant) std::swap(c, s);
    cosine = leftHalf ? -c : c;
    sine = lowerHalf ? -s : s;
}

Result Factorization::Create(std::int32_t n) noexcept {
    *this = Factorization{};
    if (!IsGoodLength(n)) return kBadParameters;
    // Radix 4 first: the fewest passes; a single 2 stays; then the odd factors.
    std::int32_t rest = n;
    int count = 0;
    while (rest % 4 == 0) rest /= 4, factors[count++] = 4;
    while (rest % 2 == 0) rest /= 2, factors[count++] = 2;
    while (rest % 3 == 0) rest /= 3, factors[count++] = 3;
    while (rest % 5 == 0) rest /= 5, factors[count++] = 5;

    std::int64_t entries = 0;
    std::int64_t l1 = 1;
    for (int s = 0; s < count; ++s) {
        twiddleOffsets[s] = static_cast<std::int32_t>(entries);
        const std::int64_t ido = n / (l1 * factors[s]);
        entries += (ido - 1) * (factors[s] - 1);
        l1 *= factors[s];
    }
    Buffer<double> table = AllocateBuffer<double>(2 * static_cast<std::size_t>(entries));
    if (!table) return kOutOfMemory;
    // Entry (i, m) of a pass is exp(2*pi*i * i*m/(ido*p)) = w_n^(i*m*l1).
    l1 = 1;
    for (int s = 0; s < count; ++s) {
        const std::int64_t p = factors[s];
        const std::int64_t ido = n / (l1 * p);
        double* out = table.get() + 2 * static_cast<std::ptrdiff_t>(twiddleOffsets[s]);
        for (std::int64_t i = 1; i < ido; ++i)
            for (std::int64_t m = 1; m < p; ++m, out += 2) UnitRoot(i * m * l1, n, out[0], out[1]);
        l1 *= p;
    }
    length = n;
    factorCount = count;
    twiddles = std::move(table);
    return kOk;
}

}  // namespace detail

Result ComplexPlan::Create(std::int32_t length, ComplexPlan& plan) noexcept {
    plan = ComplexPlan{};
    ComplexPlan made;
    if (Result r = made.core_.Create(length); !r.ok()) return r;
    plan = std::move(made);
    return kOk;
}

std::size_t ComplexPlan::ScratchDoubles() const noexcept { return 2 * static_cast<std::size_t>(core_.length); }

APERLUME_FFT_ENTRY void ComplexPlan::Forward(double* data, double* scratch) const noexcept {
    detail::ComplexTransform(core_, false, data, scratch);
}

APERLUME_FFT_ENTRY void ComplexPlan::Inverse(double* data, double* scratch) const noexcept {
    detail::ComplexTransform(core_, true, data, scratch);
}

Result RealPlan2d::Create(std::int32_t rows, std::int32_t columns, RealPlan2d& plan, SimdPath path) noexcept {
    plan = RealPlan2d{};
    if (columns < 2 || columns % 2 != 0 || columns > kLargestLength || !SimdPathAvailable(path))
        return kBadParameters;
    RealPlan2d made;
    if (path == SimdPath::kBest) path = SimdPathAvailable(SimdPath::kAvx2) ? SimdPath::kAvx2 : SimdPath::kBaseline;
    made.path_ = path;
    made.kernels_ = path == SimdPath::kAvx2 ? &detail::kAvx2Kernels : &detail::kBaselineKernels;
    if (Result r = made.columnCore_.Create(rows); !r.ok()) return r;
    if (Result r = made.rowCore_.Create(columns / 2); !r.ok()) return r;
    const std::int32_t quarter = columns / 4;
    made.realTwiddles_ = AllocateBuffer<double>(2 * static_cast<std::size_t>(quarter + 1));
    if (!made.realTwiddles_) return kOutOfMemory;
    for (std::int32_t k = 0; k <= quarter; ++k)
        detail::UnitRoot(k, columns, made.realTwiddles_[2 * static_cast<std::size_t>(k)],
                         made.realTwiddles_[2 * static_cast<std::size_t>(k) + 1]);
    plan = std::move(made);
    return kOk;
}

detail::Real2dTables RealPlan2d::Tables() const noexcept {
    return {&rowCore_, &columnCore_, rowCore_.twiddles.get(), columnCore_.twiddles.get(), realTwiddles_.get()};
}

std::size_t RealPlan2d::ScratchDoubles() const noexcept {
    const std::size_t rows = static_cast<std::size_t>(columnCore_.length);
    const std::size_t spectrumColumns = static_cast<std::size_t>(rowCore_.length) + 1;
    const std::size_t elements = rows > spectrumColumns ? rows : spectrumColumns;
    return 2 * elements * 2 * static_cast<std::size_t>(detail::kLaneWidth) + detail::kScratchAlignment / sizeof(double);
}

APERLUME_FFT_ENTRY void RealPlan2d::Forward(const double* real, std::ptrdiff_t realStride, double* spectrum,
                                            std::ptrdiff_t spectrumStride, double* scratch) const noexcept {
    if (kernels_ == nullptr) return;  // an empty plan
    kernels_->forward(Tables(), real, realStride, spectrum, spectrumStride, scratch);
}

void RealPlan2d::Inverse(double* spectrum, std::ptrdiff_t spectrumStride, double* real, std::ptrdiff_t realStride,
                         double* scratch) const noexcept {
    InverseRows(spectrum, spectrumStride, real, realStride, 0, Rows(), scratch);
}

APERLUME_FFT_ENTRY void RealPlan2d::InverseRows(double* spectrum, std::ptrdiff_t spectrumStride, double* real,
                                                std::ptrdiff_t realStride, std::int32_t firstRow,
                                                std::int32_t rowCount, double* scratch) const noexcept {
    if (kernels_ == nullptr) return;
    kernels_->inverse(Tables(), spectrum, spectrumStride, real, realStride, firstRow, rowCount, scratch);
}

}  // namespace aperlume::fft
