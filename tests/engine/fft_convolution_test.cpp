// The FFT method against a naive convolution with the normalised aperture, its border handling, its
// checkpoints and progress positions, cancellation between planes, and every allocation failing.
#include "engine/fft_convolution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "method_harness.h"
#include "base/result.h"
#include "base/working_memory.h"

namespace aperlume {
namespace {

using enginetest::EngineRun;
using enginetest::Plane;
using enginetest::RandomPlane;

std::vector<Plane> RunFft(EngineRun& host, std::int32_t diameter, std::int32_t width, std::int32_t height,
                          std::vector<Plane> planes) {
    return enginetest::RunMethod(&FftConvolve, host, diameter, width, height, std::move(planes));
}

// The aperture as drawn, D x D, and its total weight.
std::vector<float> Aperture(const FilterParameters& settings, std::int32_t diameter, double& weight) {
    std::vector<float> kernel(static_cast<std::size_t>(diameter) * diameter);
    BuildApertureKernel(settings, diameter, diameter, diameter, kernel.data());
    weight = 0.0;
    for (float w : kernel) weight += w;
    return kernel;
}

TEST(FftConvolution, PaddedSizesArePowersOfTwoWithAtLeastTheRequestedRoom) {
    EXPECT_EQ(PaddedSize(1), 1);
    EXPECT_EQ(PaddedSize(16), 16);  // W + 2D already a power of two: no further padding
    EXPECT_EQ(PaddedSize(17), 32);
    EXPECT_EQ(PaddedSize(4000 + 2 * 201), 8192);
}

TEST(FftConvolution, SwapQuadrantsRotatesByHalfTheGridAndUndoesItself) {
    const std::int32_t rows = 4;
    const std::int32_t columns = 8;
    std::vector<double> block(static_cast<std::size_t>(rows) * 2 * columns);
    std::vector<double*> table(rows);
    for (std::int32_t y = 0; y < rows; ++y) table[y] = block.data() + 2 * columns * y;
    for (std::int32_t y = 0; y < rows; ++y)
        for (std::int32_t x = 0; x < columns; ++x) {
            table[y][2 * x] = 100 * y + x;
            table[y][2 * x + 1] = -(100 * y + x);
        }
    SwapQuadrants(columns, rows, table.data());
    for (std::int32_t y = 0; y < rows; ++y)
        for (std::int32_t x = 0; x < columns; ++x) {
            const double was = 100 * ((y + rows / 2) % rows) + (x + columns / 2) % columns;
            EXPECT_EQ(table[y][2 * x], was) << y << "," << x;
            EXPECT_EQ(table[y][2 * x + 1], -was) << y << "," << x;
        }
    SwapQuadrants(columns, rows, table.data());
    for (std::int32_t y = 0; y < rows; ++y) EXPECT_EQ(table[y][2 * 5], 100 * y + 5);
}

// Every output is the sum of its neighbours, each weighted by the aperture as drawn on its own D x D
// raster (the direct method's drawing), centred on that neighbour, over the aperture's total weight;
// beyond the border the nearest edge sample stands in. A triangle catches a turned kernel, the border a
// wrong half of the padding. The tiny triangles leave their fill seed outside the truncated outline, so
// drawn on any larger raster their fill would run over all of it; soft edges must be averaged at the
// D x D raster's sub-pixel phase.
TEST(FftConvolution, MatchesNaiveConvolutionWithTheApertureAsDrawnAndEdgesReplicated) {
    const std::int32_t width = 45;
    const std::int32_t height = 31;
    const struct {
        FilterParameters settings;
        std::int32_t diameter;
    } cases[] = {{enginetest::Aperture(1, 0, 0, 10, 0), 1},     {enginetest::Aperture(1, 0, 0, 10, 0), 7},
                 {enginetest::Aperture(1, 0, 0, 10, 0), 13},    {enginetest::Aperture(3, 0, 0, 10, 0), 7},
                 {enginetest::Aperture(3, 50, 40, 10, 0), 13},  {enginetest::Aperture(3, 0, 0, 100, 0), 3},
                 {enginetest::Aperture(3, 0, 0, 115, 1), 1},    {enginetest::Aperture(3, 40, -100, 100, 0), 5},
                 {enginetest::Aperture(6, 40, 60, 20, 1), 9},   {enginetest::Aperture(1, 0, 0, 0, 1), 7}};
    for (const auto& c : cases) {
        EngineRun host(kModeGrayScale, 1);
        host.Settings() = c.settings;
        const std::int32_t diameter = c.diameter;
        const Plane input = RandomPlane(width, height, static_cast<std::uint32_t>(diameter));
        const Plane output = RunFft(host, diameter, width, height, {input})[0];
        ASSERT_EQ(host.result, kNoError);

        double weight = 0.0;
        const std::vector<float> kernel = Aperture(c.settings, diameter, weight);
        const std::int32_t r = diameter / 2;
        double worst = 0.0;
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                double sum = 0.0;
                for (std::int32_t dy = -r; dy <= r; ++dy) {
                    const std::int32_t sy = std::clamp(y - dy, 0, height - 1);
                    for (std::int32_t dx = -r; dx <= r; ++dx) {
                        const std::int32_t sx = std::clamp(x - dx, 0, width - 1);
                        sum += kernel[(r + dy) * diameter + (r + dx)] * input[sy * width + sx];
                    }
                }
                worst = std::fmax(worst, std::fabs(sum / weight - output[y * width + x]));
            }
        }
        EXPECT_LT(worst, 1e-5) << "vertices " << c.settings.vertices << " rotation " << c.settings.rotation
                               << " soft " << c.settings.soft << " D " << diameter;
    }
}

TEST(FftConvolution, AnApertureWithoutWeightStillReportsTheEnd) {
    EngineRun host(kModeGrayScale, 1);
    host.Settings().ratio = 100;
    host.Settings().edge = 100;
    RunFft(host, 5, 12, 9, {RandomPlane(12, 9, 4)});
    EXPECT_EQ(host.result, kNoError);
    ASSERT_FALSE(host.log.progressDone.empty());
    EXPECT_EQ(host.log.progressDone.back(), host.log.progressTotal.back());
}

// W = 10, H = 100, D = 31: N = 128, M = 256, T = 256 * 9. The host sees the kernel rows, the kernel's
// transform, then for the plane three row passes of three checkpoints, one after each transform, one
// after the swap, and finally T of T.
TEST(FftConvolution, ReportsProgressAtEveryCheckpoint) {
    EngineRun host(kModeGrayScale, 1);
    RunFft(host, 31, 10, 100, {RandomPlane(10, 100, 1)});
    ASSERT_EQ(host.result, kNoError);
    const std::vector<std::int32_t> expected = {0,    100,  200,  512,  612,  712,  812,  1068, 1168,
                                                1268, 1368, 1624, 1880, 1980, 2080, 2180, 2304};
    EXPECT_EQ(host.log.progressDone, expected);
    EXPECT_EQ(host.log.progressTotal, std::vector<std::int32_t>(expected.size(), 2304));
    EXPECT_EQ(host.log.abortCalls, static_cast<std::int32_t>(expected.size()));
}

TEST(FftConvolution, SmallGridsNeverReportBeyondTheTotal) {
    EngineRun host(kModeRGB, 3);
    RunFft(host, 3, 5, 4, {RandomPlane(5, 4, 1), RandomPlane(5, 4, 2), RandomPlane(5, 4, 3)});
    ASSERT_EQ(host.result, kNoError);
    const std::int32_t total = 16 * (7 * 3 + 2);
    ASSERT_FALSE(host.log.progressDone.empty());
    for (std::size_t i = 0; i < host.log.progressDone.size(); ++i) {
        EXPECT_LE(host.log.progressDone[i], total);
        if (i > 0) {
            EXPECT_GE(host.log.progressDone[i], host.log.progressDone[i - 1]);
        }
    }
    EXPECT_EQ(host.log.progressDone.back(), total);
}

TEST(FftConvolution, WithoutPlanesTheKernelIsStillPreparedAndTheEndReported) {
    EngineRun host(kModeGrayScale, 0);
    RunFft(host, 31, 10, 100, {});
    EXPECT_EQ(host.result, kNoError);
    EXPECT_EQ(host.log.progressDone, (std::vector<std::int32_t>{0, 100, 200, 512, 512}));
    EXPECT_EQ(host.log.progressTotal.back(), 512);
}

TEST(FftConvolution, CancelBetweenPlanesKeepsTheFilteredOnesAndLeavesTheRest) {
    const std::vector<Plane> input = {RandomPlane(10, 100, 1), RandomPlane(10, 100, 2), RandomPlane(10, 100, 3)};
    EngineRun reference(kModeRGB, 3);
    const std::vector<Plane> filtered = RunFft(reference, 31, 10, 100, input);
    ASSERT_EQ(reference.result, kNoError);

    // Four checkpoints for the kernel and twelve per plane: call 17 is the first one of plane 1.
    const std::int64_t live = LiveAllocations();
    EngineRun host(kModeRGB, 3);
    host.log.abortAtCall = 17;
    const std::vector<Plane> output = RunFft(host, 31, 10, 100, input);
    EXPECT_EQ(host.result, kUserCanceled);
    EXPECT_EQ(output[0], filtered[0]);
    EXPECT_EQ(output[1], input[1]);
    EXPECT_EQ(output[2], input[2]);
    EXPECT_EQ(LiveAllocations(), live);
}

TEST(FftConvolution, PreviewCheckComesBeforeTheHostsAbort) {
    EngineRun host(kModeGrayScale, 1);
    host.StartPreview();
    host.log.previewStopAtCheck = 2;
    const Plane input = RandomPlane(10, 100, 5);
    const Plane output = RunFft(host, 31, 10, 100, {input})[0];
    EXPECT_EQ(host.result, kUserCanceled);
    EXPECT_EQ(host.log.abortCalls, 1);  // the first checkpoint only
    EXPECT_EQ(output, input);
}

TEST(FftConvolution, ImpossibleSizesAreOutOfMemoryBeforeAnyWork) {
    EngineRun host(kModeGrayScale, 1);
    Plane plane(4, 0.5f);
    // 2^26 padded columns: beyond what any address space holds for two grids. The view claims the width;
    // nothing may be read from it before the sizes are checked.
    const std::int32_t width = std::int32_t{1} << 26;
    const PlaneView view{plane.data(), width, 1, width};
    host.result = FftConvolve(host.Job(3, width, 1), std::span<const PlaneView>(&view, 1), nullptr, host.checkPoints);
    EXPECT_EQ(host.result, kOutOfMemory);
    EXPECT_EQ(host.log.abortCalls, 0);
    EXPECT_EQ(plane, Plane(4, 0.5f));
}

}  // namespace
}  // namespace aperlume
