// The 2-D complex transform against long-double oracles: a naive separable DFT for small sizes, plane
// waves from impulses and direct sums at sampled bins for large ones, round trips, and the table contract.
#include "fft/cdft2d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "base/working_memory.h"

namespace aperlume {
namespace {

using LongComplex = std::pair<long double, long double>;

constexpr long double kTwoPiLong = 6.283185307179586476925286766559L;

// exp(sign*2*pi*i*j/n) in long double, j reduced modulo n first so large products stay exact.
LongComplex Root(std::int64_t j, std::int64_t n, int sign) {
    const long double angle = kTwoPiLong * static_cast<long double>(((j % n) + n) % n) / static_cast<long double>(n);
    return {std::cos(angle), sign * std::sin(angle)};
}

// A grid and the tables of one transform run, as the FFT method sets them up.
struct TransformRun {
    TransformRun(std::int32_t rowCount, std::int32_t columnCount)
        : rows(rowCount), columns(columnCount), grid(ComplexGrid::Allocate(rowCount, columnCount)),
          work(static_cast<std::size_t>(TransformWorkSize(rowCount, columnCount)), 0),
          twiddles(static_cast<std::size_t>(TwiddleTableSize(rowCount, columnCount) + 1), 0.0) {}

    ResultCode Transform(int sign, double* scratch = nullptr) {
        return cdft2d(rows, 2 * columns, sign, grid.Rows(), scratch, work.data(), twiddles.data());
    }
    double& Re(std::int32_t y, std::int32_t x) { return grid.Row(y)[2 * x]; }
    double& Im(std::int32_t y, std::int32_t x) { return grid.Row(y)[2 * x + 1]; }

    void FillRandom(std::uint32_t seed) {
        std::mt19937 generator(seed);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        for (std::int32_t y = 0; y < rows; ++y)
            for (std::int32_t x = 0; x < 2 * columns; ++x) grid.Row(y)[x] = uniform(generator);
    }
    std::vector<double> Copy() const {
        std::vector<double> values;
        for (std::int32_t y = 0; y < rows; ++y) values.insert(values.end(), grid.Row(y), grid.Row(y) + 2 * columns);
        return values;
    }

    std::int32_t rows;
    std::int32_t columns;
    ComplexGrid grid;
    std::vector<std::int32_t> work;
    std::vector<double> twiddles;
};

// The separable long-double DFT: every row, then every column, each as a direct O(n^2) sum.
std::vector<LongComplex> NaiveDft(const std::vector<double>& input, std::int32_t rows, std::int32_t columns, int sign) {
    std::vector<LongComplex> data(input.size() / 2);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = {input[2 * i], input[2 * i + 1]};
    auto line = [&](std::size_t first, std::size_t stride, std::int32_t n) {
        std::vector<LongComplex> out(static_cast<std::size_t>(n));
        for (std::int32_t k = 0; k < n; ++k) {
            long double re = 0.0L;
            long double im = 0.0L;
            for (std::int32_t j = 0; j < n; ++j) {
                const auto [wr, wi] = Root(static_cast<std::int64_t>(j) * k, n, sign);
                const auto& [xr, xi] = data[first + stride * static_cast<std::size_t>(j)];
                re += xr * wr - xi * wi;
                im += xr * wi + xi * wr;
            }
            out[static_cast<std::size_t>(k)] = {re, im};
        }
        for (std::int32_t k = 0; k < n; ++k) data[first + stride * static_cast<std::size_t>(k)] = out[static_cast<std::size_t>(k)];
    };
    for (std::int32_t y = 0; y < rows; ++y) line(static_cast<std::size_t>(y) * columns, 1, columns);
    for (std::int32_t x = 0; x < columns; ++x) line(static_cast<std::size_t>(x), static_cast<std::size_t>(columns), rows);
    return data;
}

std::vector<std::int32_t> PowersOfTwo(std::int32_t largest) {
    std::vector<std::int32_t> sizes;
    for (std::int32_t n = 1; n <= largest; n *= 2) sizes.push_back(n);
    return sizes;
}

TEST(Cdft2d, MatchesNaiveLongDoubleDftForEverySmallSizePair) {
    for (std::int32_t rows : PowersOfTwo(64)) {
        for (std::int32_t columns : PowersOfTwo(64)) {
            for (int sign : {1, -1}) {
                TransformRun run(rows, columns);
                run.FillRandom(static_cast<std::uint32_t>(rows * 131 + columns));
                const std::vector<LongComplex> expected = NaiveDft(run.Copy(), rows, columns, sign);
                ASSERT_EQ(run.Transform(sign), kNoError);
                long double error = 0.0L;
                long double norm = 0.0L;
                for (std::int32_t y = 0; y < rows; ++y) {
                    for (std::int32_t x = 0; x < columns; ++x) {
                        const auto& [er, ei] = expected[static_cast<std::size_t>(y) * columns + x];
                        error += (run.Re(y, x) - er) * (run.Re(y, x) - er) + (run.Im(y, x) - ei) * (run.Im(y, x) - ei);
                        norm += er * er + ei * ei;
                    }
                }
                EXPECT_LT(std::sqrt(error / norm), 1e-15L) << rows << " x " << columns << " sign " << sign;
            }
        }
    }
}

TEST(Cdft2d, FourPointsFollowThePositiveExponentConvention) {
    TransformRun run(1, 4);
    const double input[4][2] = {{1.0, 0.5}, {2.0, -1.0}, {-3.0, 0.25}, {0.5, 2.0}};
    for (int x = 0; x < 4; ++x) {
        run.Re(0, x) = input[x][0];
        run.Im(0, x) = input[x][1];
    }
    ASSERT_EQ(run.Transform(1), kNoError);
    // (s0 - s2) + i*(s1 - s3), with complex samples.
    const double diffEvenR = input[0][0] - input[2][0];
    const double diffEvenI = input[0][1] - input[2][1];
    const double diffOddR = input[1][0] - input[3][0];
    const double diffOddI = input[1][1] - input[3][1];
    EXPECT_DOUBLE_EQ(run.Re(0, 1), diffEvenR - diffOddI);
    EXPECT_DOUBLE_EQ(run.Im(0, 1), diffEvenI + diffOddR);
}

// An impulse at (y0, x0) becomes the plane wave exp(sign*2*pi*i*(y0*u/R + x0*v/K)): every output bin
// is known, so this checks all twiddles and the whole ordering at sizes a naive DFT cannot reach.
void ExpectPlaneWave(std::int32_t rows, std::int32_t columns, int sign, std::int32_t y0, std::int32_t x0) {
    TransformRun run(rows, columns);
    ASSERT_TRUE(run.grid);
    for (std::int32_t y = 0; y < rows; ++y)
        for (std::int32_t x = 0; x < 2 * columns; ++x) run.grid.Row(y)[x] = 0.0;
    run.Re(y0, x0) = 1.0;
    ASSERT_EQ(run.Transform(sign), kNoError);
    // The factors come from long double; their product in double is good to a few units of 1e-16.
    std::vector<double> rowWave(2 * static_cast<std::size_t>(rows));
    std::vector<double> columnWave(2 * static_cast<std::size_t>(columns));
    for (std::int32_t u = 0; u < rows; ++u) {
        const auto [re, im] = Root(static_cast<std::int64_t>(y0) * u, rows, sign);
        rowWave[2 * u] = static_cast<double>(re);
        rowWave[2 * u + 1] = static_cast<double>(im);
    }
    for (std::int32_t v = 0; v < columns; ++v) {
        const auto [re, im] = Root(static_cast<std::int64_t>(x0) * v, columns, sign);
        columnWave[2 * v] = static_cast<double>(re);
        columnWave[2 * v + 1] = static_cast<double>(im);
    }
    double worst = 0.0;
    for (std::int32_t u = 0; u < rows; ++u) {
        const double ar = rowWave[2 * u];
        const double ai = rowWave[2 * u + 1];
        const double* row = run.grid.Row(u);
        for (std::int32_t v = 0; v < columns; ++v) {
            const double br = columnWave[2 * v];
            const double bi = columnWave[2 * v + 1];
            worst = std::fmax(worst, std::fabs(row[2 * v] - (ar * br - ai * bi)));
            worst = std::fmax(worst, std::fabs(row[2 * v + 1] - (ar * bi + ai * br)));
        }
    }
    EXPECT_LT(worst, 1e-13) << rows << " x " << columns << " sign " << sign << " impulse " << y0 << "," << x0;
}

TEST(Cdft2d, ImpulseBecomesPlaneWaveForEverySizePairUpToAMillionPoints) {
    std::mt19937 generator(7);
    int largeSizes = 0;
    for (std::int32_t rows : PowersOfTwo(4096)) {
        for (std::int32_t columns : PowersOfTwo(4096)) {
            const std::int64_t points = static_cast<std::int64_t>(rows) * columns;
            if (points > (std::int64_t{1} << 20)) continue;
            // Both directions up to 2^16 points; above that one per size, in turn, to keep the sweep quick.
            std::vector<int> signs = {1, -1};
            if (points > (std::int64_t{1} << 16)) signs = {++largeSizes % 2 == 0 ? 1 : -1};
            for (int sign : signs) {
                const auto y0 = static_cast<std::int32_t>(generator() % static_cast<std::uint32_t>(rows));
                const auto x0 = static_cast<std::int32_t>(generator() % static_cast<std::uint32_t>(columns));
                ExpectPlaneWave(rows, columns, sign, y0, x0);
            }
        }
    }
}

TEST(Cdft2d, ImpulseAtOriginGivesOnesAndPlaneWavesHoldAtTheLargestSizes) {
    ExpectPlaneWave(4, 8, 1, 0, 0);
    ExpectPlaneWave(4, 8, -1, 0, 0);
    ExpectPlaneWave(4096, 4096, 1, 1234, 3001);
}

TEST(Cdft2d, ForwardThenInverseGivesInputTimesPointCount) {
    for (std::int32_t rows : PowersOfTwo(4096)) {
        for (std::int32_t columns : PowersOfTwo(4096)) {
            if (static_cast<std::int64_t>(rows) * columns > (std::int64_t{1} << 19)) continue;
            TransformRun run(rows, columns);
            run.FillRandom(static_cast<std::uint32_t>(rows + 7 * columns));
            const std::vector<double> input = run.Copy();
            ASSERT_EQ(run.Transform(1), kNoError);
            ASSERT_EQ(run.Transform(-1), kNoError);
            const std::vector<double> output = run.Copy();
            const double scale = static_cast<double>(rows) * columns;
            double worst = 0.0;
            for (std::size_t i = 0; i < input.size(); ++i) worst = std::fmax(worst, std::fabs(output[i] / scale - input[i]));
            EXPECT_LT(worst, 1e-14) << rows << " x " << columns;
        }
    }
}

// Random data at the largest sizes: a few bins against long-double sums over the whole grid.
TEST(Cdft2d, RandomDataMatchesDirectSumsAtSampledBinsOfLargeGrids) {
    const std::int32_t shapes[][2] = {{2048, 4096}, {4096, 256}};
    for (const auto& shape : shapes) {
        const std::int32_t rows = shape[0];
        const std::int32_t columns = shape[1];
        TransformRun run(rows, columns);
        run.FillRandom(99);
        const std::vector<double> input = run.Copy();
        ASSERT_EQ(run.Transform(-1), kNoError);
        for (const std::int32_t v : {1, columns / 2 + 3}) {
            // Row sums for this column frequency, then two row frequencies from them.
            std::vector<LongComplex> columnWave(static_cast<std::size_t>(columns));
            for (std::int32_t x = 0; x < columns; ++x) columnWave[x] = Root(static_cast<std::int64_t>(x) * v, columns, -1);
            std::vector<LongComplex> rowSums(static_cast<std::size_t>(rows));
            for (std::int32_t y = 0; y < rows; ++y) {
                long double re = 0.0L;
                long double im = 0.0L;
                const double* row = input.data() + 2 * static_cast<std::size_t>(y) * columns;
                for (std::int32_t x = 0; x < columns; ++x) {
                    const auto [wr, wi] = columnWave[x];
                    re += row[2 * x] * wr - row[2 * x + 1] * wi;
                    im += row[2 * x] * wi + row[2 * x + 1] * wr;
                }
                rowSums[y] = {re, im};
            }
            for (const std::int32_t u : {rows - 1, rows / 3}) {
                long double re = 0.0L;
                long double im = 0.0L;
                for (std::int32_t y = 0; y < rows; ++y) {
                    const auto [wr, wi] = Root(static_cast<std::int64_t>(y) * u, rows, -1);
                    re += rowSums[y].first * wr - rowSums[y].second * wi;
                    im += rowSums[y].first * wi + rowSums[y].second * wr;
                }
                // Sums of millions of unit-sized terms: compare against their natural size.
                const long double scale = std::sqrt(static_cast<long double>(rows) * columns);
                EXPECT_LT(std::fabs(run.Re(u, v) - re) / scale, 1e-13L) << rows << "x" << columns << " at " << u << "," << v;
                EXPECT_LT(std::fabs(run.Im(u, v) - im) / scale, 1e-13L) << rows << "x" << columns << " at " << u << "," << v;
            }
        }
    }
}

TEST(Cdft2d, TablesAreBuiltOnceAndServeLaterAndSmallerCalls) {
    TransformRun run(64, 32);
    run.FillRandom(3);
    const std::vector<double> input = run.Copy();
    ASSERT_EQ(run.Transform(1), kNoError);
    EXPECT_EQ(run.work[0], 64);
    const std::vector<double> first = run.Copy();

    // The same input again with the tables already built: same result, tables left as they were.
    const std::vector<double> tables = run.twiddles;
    for (std::int32_t y = 0; y < 64; ++y)
        std::copy(input.begin() + 64 * y, input.begin() + 64 * (y + 1), run.grid.Row(y));
    ASSERT_EQ(run.Transform(1), kNoError);
    EXPECT_EQ(run.Copy(), first);
    EXPECT_EQ(run.twiddles, tables);

    // A smaller transform reuses the larger table as it stands; the guard entry past the table's
    // contracted size is never written.
    TransformRun small(8, 16);
    small.work = run.work;
    small.twiddles = run.twiddles;
    small.FillRandom(5);
    const std::vector<LongComplex> expected = NaiveDft(small.Copy(), 8, 16, 1);
    ASSERT_EQ(small.Transform(1), kNoError);
    EXPECT_EQ(small.work[0], 64);
    EXPECT_EQ(small.twiddles, tables);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 16; ++x)
            EXPECT_NEAR(small.Re(y, x), static_cast<double>(expected[y * 16 + x].first), 1e-12);

    // A larger one rebuilds them for its own size.
    TransformRun large(128, 256);
    large.work[0] = 64;
    large.FillRandom(11);
    const std::vector<double> largeInput = large.Copy();
    ASSERT_EQ(large.Transform(-1), kNoError);
    EXPECT_EQ(large.work[0], 256);
    EXPECT_EQ(large.twiddles.back(), 0.0);
    ASSERT_EQ(large.Transform(1), kNoError);
    const std::vector<double> roundTrip = large.Copy();
    for (std::size_t i = 0; i < roundTrip.size(); ++i) ASSERT_NEAR(roundTrip[i] / (128.0 * 256.0), largeInput[i], 1e-14);
}

TEST(Cdft2d, SuppliedScratchGivesTheSameResultAsItsOwn) {
    for (const std::int32_t columns : {1, 2, 4, 64}) {
        TransformRun own(32, columns);
        own.FillRandom(21);
        TransformRun supplied(32, columns);
        supplied.FillRandom(21);
        // The contracted size exactly, so a sanitizer sees any overrun.
        std::vector<double> scratch(static_cast<std::size_t>(TransformScratchSize(32, columns)));
        ASSERT_EQ(own.Transform(1), kNoError);
        ASSERT_EQ(supplied.Transform(1, scratch.data()), kNoError);
        EXPECT_EQ(own.Copy(), supplied.Copy()) << columns;
    }
}

TEST(Cdft2d, FailuresAreReportedAndLeaveTheGridUntouched) {
    TransformRun run(16, 16);
    run.FillRandom(1);
    const std::vector<double> input = run.Copy();
    const std::int64_t live = LiveAllocations();

    FailAllocationNumber(1);
    EXPECT_EQ(run.Transform(1), kOutOfMemory);
    FailAllocationNumber(0);
    EXPECT_EQ(run.Copy(), input);
    EXPECT_EQ(LiveAllocations(), live);
    EXPECT_EQ(run.work[0], 0);

    EXPECT_EQ(cdft2d(12, 32, 1, run.grid.Rows(), nullptr, run.work.data(), run.twiddles.data()), kBadParameters);
    EXPECT_EQ(cdft2d(16, 24, 1, run.grid.Rows(), nullptr, run.work.data(), run.twiddles.data()), kBadParameters);
    EXPECT_EQ(cdft2d(16, 31, 1, run.grid.Rows(), nullptr, run.work.data(), run.twiddles.data()), kBadParameters);
    // Beyond 2^25 rows the scratch size would no longer count in 32 bits; up to it, it does.
    EXPECT_EQ(cdft2d(1 << 26, 32, 1, run.grid.Rows(), nullptr, run.work.data(), run.twiddles.data()), kBadParameters);
    EXPECT_EQ(TransformScratchSize(1 << 25, 16), 1 << 30);
    EXPECT_EQ(cdft2d(16, 32, 0, run.grid.Rows(), nullptr, run.work.data(), run.twiddles.data()), kBadParameters);
    EXPECT_EQ(cdft2d(16, 32, 1, nullptr, nullptr, run.work.data(), run.twiddles.data()), kBadParameters);
    EXPECT_EQ(cdft2d(16, 32, 1, run.grid.Rows(), nullptr, nullptr, run.twiddles.data()), kBadParameters);
    EXPECT_EQ(run.Copy(), input);
    EXPECT_EQ(LiveAllocations(), live);
}

TEST(ComplexGrid, PlacesRowsInOneBlockAndRefusesImpossibleSizes) {
    const std::int64_t live = LiveAllocations();
    {
        ComplexGrid grid = ComplexGrid::Allocate(8, 16);
        ASSERT_TRUE(grid);
        EXPECT_EQ(grid.RowCount(), 8);
        EXPECT_EQ(grid.ColumnCount(), 16);
        for (std::int32_t y = 1; y < 8; ++y) EXPECT_EQ(grid.Row(y), grid.Row(0) + 32 * y);
        ComplexGrid moved = std::move(grid);
        EXPECT_TRUE(moved);
        EXPECT_FALSE(grid);  // NOLINT(bugprone-use-after-move): a moved-from owner is empty
    }
    EXPECT_EQ(LiveAllocations(), live);

    EXPECT_FALSE(ComplexGrid::Allocate(0, 16));
    EXPECT_FALSE(ComplexGrid::Allocate(16, -1));
    // 2^30 x 2^30 complex values overflow any address space.
    EXPECT_FALSE(ComplexGrid::Allocate(std::int32_t{1} << 30, std::int32_t{1} << 30));
    for (std::int64_t failing = 1; failing <= 2; ++failing) {
        FailAllocationNumber(failing);
        EXPECT_FALSE(ComplexGrid::Allocate(4, 4));
        FailAllocationNumber(0);
        EXPECT_EQ(LiveAllocations(), live);
    }
}

}  // namespace
}  // namespace aperlume
