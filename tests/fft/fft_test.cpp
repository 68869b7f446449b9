// The transform plans against long-double DFT oracles, the header's error bound, and the plan contract.
#include "fft/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "fft/cdft2d.h"

namespace aperlume::fft {
namespace {

using LongComplex = std::complex<long double>;
constexpr double kEpsilon = 0x1p-52;

std::vector<std::int32_t> GoodLengthsUpTo(std::int32_t largest) {
    std::vector<std::int32_t> lengths;
    for (std::int32_t n = 1; n <= largest; ++n)
        if (IsGoodLength(n)) lengths.push_back(n);
    return lengths;
}

std::vector<double> Random(std::size_t count, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) v = uniform(generator);
    return values;
}

std::vector<SimdPath> Paths() {
    std::vector<SimdPath> paths = {SimdPath::kBaseline};
    if (SimdPathAvailable(SimdPath::kAvx2)) paths.push_back(SimdPath::kAvx2);
    return paths;
}

bool IsPowerOfTwoShape(std::int32_t rows, std::int32_t columns) {
    return (rows & (rows - 1)) == 0 && (columns & (columns - 1)) == 0;
}

const char* Name(SimdPath path) { return path == SimdPath::kAvx2 ? "avx2" : "baseline"; }

// The header's bound on every output value: 2^-51 * log2(points) * ||input||.
double Bound(std::int64_t points, long double inputNormSquared) {
    return 2.0 * kEpsilon * std::log2(static_cast<double>(points)) * std::sqrt(static_cast<double>(inputNormSquared));
}

// The naive DFT of `line` (n values at the given stride) in long double, exponent sign * 2*pi*i*j*k/n.
void NaiveLine(LongComplex* line, std::ptrdiff_t stride, std::int32_t n, int sign) {
    constexpr long double kTwoPi = 6.283185307179586476925286766559L;
    std::vector<LongComplex> roots(static_cast<std::size_t>(n));
    for (std::int32_t j = 0; j < n; ++j)
        roots[j] = std::polar(1.0L, sign * kTwoPi * static_cast<long double>(j) / static_cast<long double>(n));
    std::vector<LongComplex> out(static_cast<std::size_t>(n));
    for (std::int32_t k = 0; k < n; ++k)
        for (std::int32_t j = 0; j < n; ++j)
            out[k] += line[j * stride] * roots[static_cast<std::size_t>((static_cast<std::int64_t>(j) * k) % n)];
    for (std::int32_t k = 0; k < n; ++k) line[k * stride] = out[k];
}

// The full R x C DFT in long double, rows then columns.
std::vector<LongComplex> NaiveDft2d(std::vector<LongComplex> data, std::int32_t rows, std::int32_t columns, int sign) {
    for (std::int32_t y = 0; y < rows; ++y) NaiveLine(data.data() + y * columns, 1, columns, sign);
    for (std::int32_t x = 0; x < columns; ++x) NaiveLine(data.data() + x, columns, rows, sign);
    return data;
}

TEST(ComplexPlan, MatchesLongDoubleDftWithinTheBoundForEveryGoodLengthUpTo1024) {
    for (const std::int32_t n : GoodLengthsUpTo(1024)) {
        ComplexPlan plan;
        ASSERT_TRUE(ComplexPlan::Create(n, plan).ok()) << n;
        std::vector<double> scratch(plan.ScratchDoubles());
        for (const int sign : {-1, 1}) {
            std::vector<double> data = Random(2 * static_cast<std::size_t>(n), static_cast<std::uint32_t>(n * 2 + sign));
            std::vector<LongComplex> expected(static_cast<std::size_t>(n));
            long double norm = 0.0L;
            for (std::int32_t j = 0; j < n; ++j) {
                expected[j] = {data[2 * j], data[2 * j + 1]};
                norm += std::norm(expected[j]);
            }
            NaiveLine(expected.data(), 1, n, sign);
            const std::int64_t allocations = AllocationsMade();
            if (sign < 0) plan.Forward(data.data(), scratch.data());
            else plan.Inverse(data.data(), scratch.data());
            EXPECT_EQ(AllocationsMade(), allocations);
            double worst = 0.0;
            for (std::int32_t k = 0; k < n; ++k)
                worst = std::fmax(worst, static_cast<double>(std::abs(LongComplex{data[2 * k], data[2 * k + 1]} - expected[k])));
            EXPECT_LE(worst, Bound(n, norm)) << "n " << n << " sign " << sign;
        }
    }
}

// Shapes with odd and even row counts, multiples of 3 and 5, and the degenerate single row or pair.
const std::int32_t kSmallShapes[][2] = {{1, 2},  {2, 2},   {1, 30},  {3, 4},   {5, 6},   {6, 8},
                                        {9, 10}, {12, 18}, {15, 50}, {16, 16}, {25, 12}, {27, 90},
                                        {45, 24}, {60, 64}, {64, 60}, {81, 40}, {100, 6}, {3, 250}};

struct RealRun {
    RealRun(std::int32_t r, std::int32_t c, SimdPath path) : rows(r), columns(c), spectrumColumns(c / 2 + 1) {
        created = RealPlan2d::Create(r, c, plan, path);
        scratch.resize(plan.ScratchDoubles());
    }
    std::vector<double> Forward(const std::vector<double>& real) {
        std::vector<double> spectrum(2 * static_cast<std::size_t>(rows) * spectrumColumns);
        plan.Forward(real.data(), columns, spectrum.data(), 2 * spectrumColumns, scratch.data());
        return spectrum;
    }
    std::vector<double> Inverse(std::vector<double> spectrum) {
        std::vector<double> real(static_cast<std::size_t>(rows) * columns);
        plan.Inverse(spectrum.data(), 2 * spectrumColumns, real.data(), columns, scratch.data());
        return real;
    }
    LongComplex Bin(const std::vector<double>& spectrum, std::int32_t u, std::int32_t v) const {
        const std::size_t at = 2 * (static_cast<std::size_t>(u) * spectrumColumns + v);
        return {spectrum[at], spectrum[at + 1]};
    }

    std::int32_t rows;
    std::int32_t columns;
    std::int32_t spectrumColumns;
    RealPlan2d plan;
    Result created;
    std::vector<double> scratch;
};

// Random data, and the two inputs whose spectra are exact: an impulse (a plane wave of unit modulus) and
// a constant (one bin, every other exactly zero).
TEST(RealPlan2d, ForwardMatchesLongDoubleDftWithinTheBoundOnEveryPath) {
    for (const SimdPath path : Paths()) {
        for (const auto& shape : kSmallShapes) {
            RealRun run(shape[0], shape[1], path);
            ASSERT_TRUE(run.created.ok());
            const std::size_t points = static_cast<std::size_t>(run.rows) * run.columns;
            std::vector<double> impulse(points, 0.0);
            impulse[points / 2] = 1.0;
            for (const std::vector<double>& real : {Random(points, 5), impulse, std::vector<double>(points, 0.75)}) {
                std::vector<LongComplex> exact(real.begin(), real.end());
                long double norm = 0.0L;
                for (const double v : real) norm += static_cast<long double>(v) * v;
                exact = NaiveDft2d(exact, run.rows, run.columns, -1);
                const std::vector<double> spectrum = run.Forward(real);
                double worst = 0.0;
                for (std::int32_t u = 0; u < run.rows; ++u)
                    for (std::int32_t v = 0; v < run.spectrumColumns; ++v)
                        worst = std::fmax(worst, static_cast<double>(std::abs(run.Bin(spectrum, u, v) - exact[u * run.columns + v])));
                EXPECT_LE(worst, Bound(static_cast<std::int64_t>(points), norm)) << Name(path) << " " << run.rows << " x " << run.columns;
            }
        }
    }
}

// Any half spectrum, Hermitian or not: the inverse stands for the plane whose columns 0 and C/2 are the
// Hermitian parts of the given ones and whose other columns are completed by conjugate symmetry.
TEST(RealPlan2d, InverseMatchesLongDoubleDftOfTheHermitianCompletionOnEveryPath) {
    for (const SimdPath path : Paths()) {
        for (const auto& shape : kSmallShapes) {
            RealRun run(shape[0], shape[1], path);
            const std::int32_t r = run.rows;
            const std::int32_t c = run.columns;
            const std::vector<double> spectrum = Random(2 * static_cast<std::size_t>(r) * run.spectrumColumns, 9);
            std::vector<LongComplex> plane(static_cast<std::size_t>(r) * c);
            long double norm = 0.0L;
            for (std::int32_t u = 0; u < r; ++u) {
                for (std::int32_t v = 0; v < c; ++v) {
                    const std::int32_t mirrorRow = (r - u) % r;
                    LongComplex value;
                    if (v == 0 || v == c / 2) value = (run.Bin(spectrum, u, v) + std::conj(run.Bin(spectrum, mirrorRow, v))) / 2.0L;
                    else if (v < c / 2) value = run.Bin(spectrum, u, v);
                    else value = std::conj(run.Bin(spectrum, mirrorRow, c - v));
                    plane[u * c + v] = value;
                    norm += std::norm(value);
                }
            }
            const std::vector<LongComplex> exact = NaiveDft2d(plane, r, c, 1);
            const std::vector<double> real = run.Inverse(spectrum);
            double worst = 0.0;
            for (std::size_t i = 0; i < real.size(); ++i) worst = std::fmax(worst, std::fabs(real[i] - static_cast<double>(exact[i].real())));
            EXPECT_LE(worst, Bound(static_cast<std::int64_t>(r) * c, norm)) << Name(path) << " " << r << " x " << c;
        }
    }
}

// At tile sizes no naive DFT reaches: the power-of-two shapes against the old complex transform (whose
// inverse direction carries our forward sign), the others against rows and columns of the 1-D plan;
// then the round trip back.
TEST(RealPlan2d, LargeShapesMatchIndependentTransformsOnEveryPath) {
    const std::int32_t shapes[][2] = {{512, 512}, {256, 1024}, {480, 640}, {375, 750}, {1000, 324}, {1024, 1024}};
    for (const SimdPath path : Paths()) {
        for (const auto& shape : shapes) {
            RealRun run(shape[0], shape[1], path);
            const std::int32_t r = run.rows;
            const std::int32_t c = run.columns;
            const std::vector<double> real = Random(static_cast<std::size_t>(r) * c, 17);
            const std::vector<double> spectrum = run.Forward(real);
            std::vector<double> full(2 * real.size());
            for (std::size_t i = 0; i < real.size(); ++i) full[2 * i] = real[i];
            if (IsPowerOfTwoShape(r, c)) {
                ComplexGrid grid = ComplexGrid::Allocate(r, c);
                std::vector<std::int32_t> work(static_cast<std::size_t>(TransformWorkSize(r, c)), 0);
                std::vector<double> twiddles(static_cast<std::size_t>(TwiddleTableSize(r, c)));
                for (std::int32_t y = 0; y < r; ++y) std::copy(full.begin() + 2 * y * c, full.begin() + 2 * (y + 1) * c, grid.Row(y));
                ASSERT_EQ(cdft2d(r, 2 * c, -1, grid.Rows(), nullptr, work.data(), twiddles.data()), kNoError);
                for (std::int32_t y = 0; y < r; ++y) std::copy(grid.Row(y), grid.Row(y) + 2 * c, full.begin() + 2 * y * c);
            } else {
                ComplexPlan rowPlan;
                ComplexPlan columnPlan;
                ASSERT_TRUE(ComplexPlan::Create(c, rowPlan).ok() && ComplexPlan::Create(r, columnPlan).ok());
                std::vector<double> scratch(2 * static_cast<std::size_t>(std::max(r, c)));
                std::vector<double> column(2 * static_cast<std::size_t>(r));
                for (std::int32_t y = 0; y < r; ++y) rowPlan.Forward(full.data() + 2 * y * c, scratch.data());
                for (std::int32_t x = 0; x < c; ++x) {
                    for (std::int32_t y = 0; y < r; ++y) std::copy_n(full.begin() + 2 * (y * c + x), 2, column.begin() + 2 * y);
                    columnPlan.Forward(column.data(), scratch.data());
                    for (std::int32_t y = 0; y < r; ++y) std::copy_n(column.begin() + 2 * y, 2, full.begin() + 2 * (y * c + x));
                }
            }
            double worst = 0.0;
            double norm = 0.0;
            for (const double v : real) norm += v * v;
            for (std::int32_t u = 0; u < r; ++u)
                for (std::int32_t v = 0; v < run.spectrumColumns; ++v)
                    worst = std::fmax(worst, static_cast<double>(std::abs(run.Bin(spectrum, u, v) - LongComplex{full[2 * (u * c + v)], full[2 * (u * c + v) + 1]})));
            // Both sides carry rounding errors of their own.
            EXPECT_LE(worst, 2.0 * Bound(static_cast<std::int64_t>(r) * c, norm)) << Name(path) << " " << r << " x " << c;

            // The half spectrum of a real plane is Hermitian in the columns it holds twice.
            double asymmetry = 0.0;
            for (std::int32_t u = 0; u < r; ++u)
                for (const std::int32_t v : {0, c / 2})
                    asymmetry = std::fmax(asymmetry, static_cast<double>(std::abs(run.Bin(spectrum, u, v) - std::conj(run.Bin(spectrum, (r - u) % r, v)))));
            EXPECT_LE(asymmetry, 2.0 * Bound(static_cast<std::int64_t>(r) * c, norm)) << Name(path) << " " << r << " x " << c;

            const std::vector<double> back = run.Inverse(spectrum);
            const double points = static_cast<double>(r) * c;
            double roundTrip = 0.0;
            for (std::size_t i = 0; i < real.size(); ++i) roundTrip = std::fmax(roundTrip, std::fabs(back[i] / points - real[i]));
            EXPECT_LE(roundTrip, 2.0 * Bound(static_cast<std::int64_t>(r) * c, norm) / std::sqrt(points)) << Name(path) << " " << r << " x " << c;
        }
    }
}

// Round trips in every layout the header allows: out of place with padded strides, in place, and a
// window of output rows, which must equal the same rows of the whole inverse. No execution allocates.
TEST(RealPlan2d, RoundTripsGiveTheInputTimesThePointCountInEveryLayoutOnEveryPath) {
    const std::int32_t shapes[][2] = {{1, 2}, {4, 4}, {5, 10}, {9, 6}, {30, 18}, {36, 250}, {128, 96}, {243, 160}};
    for (const SimdPath path : Paths()) {
        for (const auto& shape : shapes) {
            RealRun run(shape[0], shape[1], path);
            const std::int32_t r = run.rows;
            const std::int32_t c = run.columns;
            const std::ptrdiff_t realStride = c + 3;
            const std::ptrdiff_t spectrumStride = 2 * run.spectrumColumns + 6;
            std::vector<double> real = Random(static_cast<std::size_t>(r) * realStride, 23);
            const std::vector<double> input = real;
            std::vector<double> spectrum(static_cast<std::size_t>(r) * spectrumStride, 0.0);
            std::vector<double> inPlace(static_cast<std::size_t>(r) * spectrumStride, 0.0);
            for (std::int32_t y = 0; y < r; ++y) std::copy_n(real.begin() + y * realStride, c, inPlace.begin() + y * spectrumStride);

            const std::int64_t allocations = AllocationsMade();
            run.plan.Forward(real.data(), realStride, spectrum.data(), spectrumStride, run.scratch.data());
            run.plan.Forward(inPlace.data(), spectrumStride, inPlace.data(), spectrumStride, run.scratch.data());
            EXPECT_EQ(real, input) << "the forward input is left untouched";
            EXPECT_EQ(inPlace, spectrum) << "in place and out of place agree exactly";

            std::vector<double> window(real.size(), -7.0);
            const std::int32_t first = r / 3;
            const std::int32_t count = r - first - r / 4;
            std::vector<double> spectrumCopy = spectrum;
            run.plan.InverseRows(spectrumCopy.data(), spectrumStride, window.data(), realStride, first, count, run.scratch.data());
            run.plan.Inverse(spectrum.data(), spectrumStride, real.data(), realStride, run.scratch.data());
            run.plan.Inverse(inPlace.data(), spectrumStride, inPlace.data(), spectrumStride, run.scratch.data());
            EXPECT_EQ(AllocationsMade(), allocations);

            double norm = 0.0;
            for (std::int32_t y = 0; y < r; ++y)
                for (std::int32_t x = 0; x < c; ++x) norm += input[y * realStride + x] * input[y * realStride + x];
            const double points = static_cast<double>(r) * c;
            // A round trip's error per value: the bound of both directions, in units of the input's rms.
            const double bound = 2.0 * Bound(r * static_cast<std::int64_t>(c), norm) / std::sqrt(points);
            double worst = 0.0;
            for (std::int32_t y = 0; y < r; ++y) {
                for (std::int32_t x = 0; x < c; ++x) {
                    const double value = real[y * realStride + x];
                    worst = std::fmax(worst, std::fabs(value / points - input[y * realStride + x]));
                    ASSERT_EQ(inPlace[y * spectrumStride + x], value) << y << "," << x;
                    const bool inWindow = y >= first && y < first + count;
                    ASSERT_EQ(window[y * realStride + x], inWindow ? value : -7.0) << y << "," << x;
                }
                EXPECT_EQ(real[y * realStride + c], input[y * realStride + c]) << "padding past a row is not written";
            }
            EXPECT_LE(worst, bound) << Name(path) << " " << r << " x " << c;
        }
    }
}

TEST(FftPlans, RefuseLengthsThatAreNotGoodAndPathsTheMachineLacks) {
    ComplexPlan complexPlan;
    ASSERT_TRUE(ComplexPlan::Create(60, complexPlan).ok());
    std::vector<double> untouched = {1.0, 2.0, 3.0, 4.0};
    for (const std::int32_t length : {0, -4, 7, 14, 77, kLargestLength + 1, kLargestLength * 2, std::int32_t{1} << 30}) {
        EXPECT_EQ(ComplexPlan::Create(length, complexPlan), kBadParameters) << length;
        EXPECT_EQ(complexPlan.Length(), 0) << "a failed plan is empty";
        complexPlan.Forward(untouched.data(), nullptr);
    }
    RealPlan2d realPlan;
    const std::int32_t badShapes[][2] = {{0, 8}, {7, 8}, {8, 0}, {8, 5}, {8, 14}, {8, -2}, {kLargestLength * 2, 2}};
    for (const auto& shape : badShapes) {
        EXPECT_EQ(RealPlan2d::Create(shape[0], shape[1], realPlan), kBadParameters) << shape[0] << " x " << shape[1];
        EXPECT_EQ(realPlan.Rows(), 0);
        realPlan.Forward(untouched.data(), 2, untouched.data(), 2, nullptr);
        realPlan.Inverse(untouched.data(), 2, untouched.data(), 2, nullptr);
    }
    EXPECT_EQ(untouched, (std::vector<double>{1.0, 2.0, 3.0, 4.0})) << "an empty plan does nothing";
    if (!SimdPathAvailable(SimdPath::kAvx2)) {
        EXPECT_EQ(RealPlan2d::Create(8, 8, realPlan, SimdPath::kAvx2), kBadParameters);
    }
}

TEST(FftPlans, EveryAllocationFailureIsReportedAndReleasesEverything) {
    const std::int64_t live = LiveAllocations();
    for (const bool twoDimensional : {false, true}) {
        bool created = false;
        for (std::int64_t failing = 1; !created; ++failing) {
            ASSERT_LT(failing, 10) << "a plan takes only a few buffers";
            FailAllocationNumber(failing);
            {
                RealPlan2d realPlan;
                ComplexPlan complexPlan;
                const Result result = twoDimensional ? RealPlan2d::Create(45, 30, realPlan) : ComplexPlan::Create(45, complexPlan);
                created = result.ok();
                if (!created) {
                    EXPECT_EQ(result, kOutOfMemory) << failing;
                    EXPECT_EQ(realPlan.Rows() + complexPlan.Length(), 0);
                }
            }
            FailAllocationNumber(0);
            EXPECT_EQ(LiveAllocations(), live) << failing;
        }
    }
}

TEST(GoodLengths, AreTheLeastGoodLengthsAtOrAboveTheRequest) {
    for (std::int32_t n = -2; n <= 5000; ++n) {
        std::int32_t smooth = n < 1 ? 1 : n;
        for (const std::int32_t p : {2, 3, 5})
            while (smooth % p == 0) smooth /= p;
        EXPECT_EQ(IsGoodLength(n), n >= 1 && smooth == 1) << n;
        const std::int32_t good = GoodLengthAtLeast(n);
        ASSERT_TRUE(IsGoodLength(good)) << n;
        ASSERT_GE(good, n);
        for (std::int32_t between = std::max(n, 1); between < good; ++between) ASSERT_FALSE(IsGoodLength(between)) << n;
        const std::int32_t real = GoodRealLengthAtLeast(n);
        ASSERT_TRUE(real % 2 == 0 && IsGoodLength(real / 2) && real >= n) << n;
        for (std::int32_t between = std::max(n, 2); between < real; ++between)
            ASSERT_FALSE(between % 2 == 0 && IsGoodLength(between / 2)) << n;
    }
    EXPECT_EQ(GoodLengthAtLeast(kLargestLength - 1), kLargestLength);
    EXPECT_EQ(GoodLengthAtLeast(kLargestLength + 1), 0);
    EXPECT_EQ(GoodRealLengthAtLeast(kLargestLength + 1), 0);
    EXPECT_FALSE(IsGoodLength(kLargestLength * 2));
}

}  // namespace
}  // namespace aperlume::fft
