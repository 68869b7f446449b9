// The FFT method in tiles: against a naive convolution with the aperture as drawn and clamped edges,
// across tile seams, corners and bands; against the whole-plane method it replaces; the same result on
// any number of threads; progress, cancel and the choice of tile shape.
#include "engine/fft_convolution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "fft/cdft2d.h"
#include "method_harness.h"

namespace aperlume {
namespace {

using enginetest::EngineRun;
using enginetest::Plane;
using enginetest::RandomPlane;

constexpr FftTileShape kChosen{};  // stands for the shape the method chooses itself

// The method on copies of `planes`, with the given shape (or its own), path and thread count.
std::vector<Plane> RunTiles(EngineRun& host, std::int32_t diameter, std::int32_t width, std::int32_t height,
                            std::vector<Plane> planes, FftTileShape shape = kChosen, std::int32_t threads = 1,
                            fft::SimdPath path = fft::SimdPath::kBest) {
    const std::vector<PlaneView> views = enginetest::Views(planes, width, height);
    RenderJob job = host.Job(diameter, width, height);
    job.threads = threads;
    if (shape == kChosen) shape = ChooseFftTileShape(width, height, diameter);
    host.result = FftConvolveInTiles(job, views, host.checkPoints, shape, path);
    return planes;
}

// The aperture as drawn, D x D, and its total weight.
std::vector<float> Aperture(const FilterParameters& settings, std::int32_t diameter, double& weight) {
    std::vector<float> kernel(static_cast<std::size_t>(diameter) * diameter);
    BuildApertureKernel(settings, diameter, diameter, diameter, kernel.data());
    weight = 0.0;
    for (float w : kernel) weight += w;
    return kernel;
}

// Every output is the sum of its neighbours, each weighted by the aperture as drawn on its own D x D
// raster, centred on that neighbour, over the aperture's total weight; beyond the border the nearest
// edge sample stands in.
Plane NaiveConvolution(const Plane& input, std::int32_t width, std::int32_t height, const FilterParameters& settings,
                       std::int32_t diameter) {
    double weight = 0.0;
    const std::vector<float> kernel = Aperture(settings, diameter, weight);
    const std::int32_t r = diameter / 2;
    Plane output(input.size());
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            double sum = 0.0;
            for (std::int32_t dy = -r; dy <= r; ++dy) {
                const std::int32_t sy = std::clamp(y - dy, 0, height - 1);
                for (std::int32_t dx = -r; dx <= r; ++dx)
                    sum += kernel[(r + dy) * diameter + (r + dx)] * input[sy * width + std::clamp(x - dx, 0, width - 1)];
            }
            output[y * width + x] = static_cast<float>(sum / weight);
        }
    }
    return output;
}

// The number of tiles of a plane.
std::int32_t TilesPerPlane(FftTileShape shape, std::int32_t width, std::int32_t height, std::int32_t diameter) {
    if (shape == kChosen) shape = ChooseFftTileShape(width, height, diameter);
    const std::int32_t across = (width + shape.columns - diameter) / (shape.columns - diameter + 1);
    return across * ((height + shape.rows - diameter) / (shape.rows - diameter + 1));
}

double Largest(const Plane& plane) { return *std::max_element(plane.begin(), plane.end()); }

double LargestDifference(const Plane& a, const Plane& b) {
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) worst = std::fmax(worst, std::fabs(double{a[i]} - b[i]));
    return worst;
}

// A triangle catches a turned kernel, the border a wrong clamp. The tiny triangles leave their fill
// seed outside the truncated outline, so drawn on any larger raster their fill would run over all of
// it; soft edges must be averaged at the D x D raster's sub-pixel phase. Every aperture runs on the
// shape the method chooses and on small tiles that cut the image into many, with seams and corners
// everywhere; a few shapes are as small as the kernel allows, so that a band's input reaches back
// over several bands above it. Four planes, so that every plane starts its bands afresh.
TEST(FftConvolution, MatchesNaiveConvolutionWithTheApertureAsDrawnAndEdgesReplicated) {
    const struct {
        FilterParameters settings;
        std::int32_t diameter;
        std::int32_t width;
        std::int32_t height;
        FftTileShape tiles;
    } cases[] = {{enginetest::Aperture(1, 0, 0, 10, 0), 1, 45, 31, {4, 6}},
                 {enginetest::Aperture(1, 0, 0, 10, 0), 7, 45, 31, {16, 18}},
                 {enginetest::Aperture(1, 0, 0, 10, 0), 13, 45, 31, {20, 16}},
                 {enginetest::Aperture(3, 0, 0, 10, 0), 7, 45, 31, {9, 8}},
                 {enginetest::Aperture(3, 50, 40, 10, 0), 13, 45, 31, {15, 16}},
                 {enginetest::Aperture(3, 0, 0, 100, 0), 3, 45, 31, {5, 4}},
                 {enginetest::Aperture(3, 0, 0, 115, 1), 1, 45, 31, {2, 2}},
                 {enginetest::Aperture(3, 40, -100, 100, 0), 5, 45, 31, {8, 10}},
                 {enginetest::Aperture(6, 40, 60, 20, 1), 9, 45, 31, {12, 20}},
                 {enginetest::Aperture(1, 0, 0, 0, 1), 7, 45, 31, {25, 24}},
                 // Kernels wider than the image, images smaller than one tile, one row and one column.
                 {enginetest::Aperture(6, 0, 0, 30, 0), 21, 5, 4, {27, 24}},
                 {enginetest::Aperture(6, 0, 0, 30, 0), 21, 30, 3, {25, 30}},
                 {enginetest::Aperture(5, 20, 0, 0, 1), 9, 1, 40, {10, 10}},
                 {enginetest::Aperture(5, 20, 0, 0, 1), 9, 40, 1, {12, 10}},
                 {enginetest::Aperture(4, 0, 0, 45, 0), 31, 70, 50, {32, 36}}};
    for (const auto& c : cases) {
        std::vector<Plane> input;
        for (std::uint32_t p = 0; p < 4; ++p) input.push_back(RandomPlane(c.width, c.height, 10 * c.diameter + p));
        for (const FftTileShape tiles : {kChosen, c.tiles}) {
            EngineRun host(kModeRGB, 4);
            host.Settings() = c.settings;
            const std::vector<Plane> output = RunTiles(host, c.diameter, c.width, c.height, input, tiles);
            ASSERT_EQ(host.result, kNoError) << tiles.rows << " x " << tiles.columns;
            for (std::size_t p = 0; p < input.size(); ++p) {
                const Plane expected = NaiveConvolution(input[p], c.width, c.height, c.settings, c.diameter);
                EXPECT_LT(LargestDifference(output[p], expected), 3e-7)
                    << "vertices " << c.settings.vertices << " rotation " << c.settings.rotation << " soft "
                    << c.settings.soft << " D " << c.diameter << " " << c.width << " x " << c.height << " tiles "
                    << tiles.rows << " x " << tiles.columns << " plane " << p;
            }
        }
    }
}

// The method before tiles: the whole plane padded to powers of two at least W + 2D and H + 2D, the
// first half of the padding repeating the last sample and the second half the first, the aperture
// centred in the padded grid, one complex transform each way, and the noise floor.
Plane WholePlaneConvolution(const Plane& input, std::int32_t width, std::int32_t height,
                            const FilterParameters& settings, std::int32_t diameter) {
    auto padded = [&](std::int32_t size) {
        std::int32_t n = 1;
        while (n < size + 2 * diameter) n *= 2;
        return n;
    };
    const std::int32_t n = padded(width);
    const std::int32_t m = padded(height);
    auto source = [](std::int32_t k, std::int32_t size, std::int32_t paddedSize) {
        return k < size ? k : (k < size + (paddedSize - size) / 2 ? size - 1 : 0);
    };
    double weight = 0.0;
    const std::vector<float> kernel = Aperture(settings, diameter, weight);
    ComplexGrid spectrum = ComplexGrid::Allocate(m, n);
    ComplexGrid image = ComplexGrid::Allocate(m, n);
    for (std::int32_t l = 0; l < m; ++l) {
        std::fill_n(spectrum.Row(l), 2 * n, 0.0);
        for (std::int32_t k = 0; k < n; ++k) {
            image.Row(l)[2 * k] = input[source(l, height, m) * width + source(k, width, n)];
            image.Row(l)[2 * k + 1] = 0.0;
        }
    }
    for (std::int32_t y = 0; y < diameter; ++y)
        for (std::int32_t x = 0; x < diameter; ++x)
            spectrum.Row(m / 2 - diameter / 2 + y)[2 * (n / 2 - diameter / 2 + x)] = kernel[y * diameter + x] * (1.0 / weight);
    std::vector<std::int32_t> work(static_cast<std::size_t>(TransformWorkSize(m, n)), 0);
    std::vector<double> twiddles(static_cast<std::size_t>(TwiddleTableSize(m, n)));
    EXPECT_EQ(cdft2d(m, 2 * n, 1, spectrum.Rows(), nullptr, work.data(), twiddles.data()), kNoError);
    EXPECT_EQ(cdft2d(m, 2 * n, 1, image.Rows(), nullptr, work.data(), twiddles.data()), kNoError);
    for (std::int32_t l = 0; l < m; ++l) {
        double* a = image.Row(l);
        const double* b = spectrum.Row(l);
        for (std::int32_t k = 0; k < 2 * n; k += 2) {
            const double re = a[k] * b[k] - a[k + 1] * b[k + 1];
            a[k + 1] = a[k] * b[k + 1] + a[k + 1] * b[k];
            a[k] = re;
        }
    }
    EXPECT_EQ(cdft2d(m, 2 * n, -1, image.Rows(), nullptr, work.data(), twiddles.data()), kNoError);
    const double floor = 1e-14 * Largest(input);
    Plane output(input.size());
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const double value = image.Row((y + m / 2) % m)[2 * ((x + n / 2) % n)] / n / m;
            output[y * width + x] = value < floor ? 0.0f : static_cast<float>(value);
        }
    return output;
}

// Tiles and whole plane differ only in the rounding of their transforms, on every processor path:
// points of light on black (much of the result near or below the noise floor) and random values, on
// images of several tiles in both directions.
TEST(FftConvolution, MatchesTheWholePlaneMethodUpToRoundingOnEveryPath) {
    std::vector<fft::SimdPath> paths = {fft::SimdPath::kBaseline};
    if (fft::SimdPathAvailable(fft::SimdPath::kAvx2)) paths.push_back(fft::SimdPath::kAvx2);
    const std::int32_t width = 300;
    const std::int32_t height = 170;
    Plane points(width * height, 0.0f);
    for (std::int32_t i = 0; i < width * height; i += 997) points[i] = 1.0f;
    const std::vector<Plane> input = {points, RandomPlane(width, height, 7)};
    for (const auto& [diameter, tiles] : {std::pair{31, kChosen}, std::pair{31, FftTileShape{64, 80}},
                                          std::pair{101, FftTileShape{128, 160}}, std::pair{9, FftTileShape{30, 32}}}) {
        EngineRun host(kModeGrayScale, 2);
        host.Settings() = enginetest::Aperture(6, 30, 20, 15, 1);
        std::vector<Plane> expected;
        for (const Plane& plane : input)
            expected.push_back(WholePlaneConvolution(plane, width, height, host.Settings(), diameter));
        for (const fft::SimdPath path : paths) {
            const std::vector<Plane> output = RunTiles(host, diameter, width, height, input, tiles, 1, path);
            ASSERT_EQ(host.result, kNoError);
            // Both round nearly the same double to float: at most a unit of the last place apart. A value
            // within the transforms' noise of the noise floor may land on either side of it.
            for (std::size_t p = 0; p < input.size(); ++p) {
                const double floorFlip = 1.1e-14 * Largest(input[p]);
                for (std::size_t i = 0; i < output[p].size(); ++i)
                    ASSERT_LE(std::fabs(double{output[p][i]} - expected[p][i]), 0x1p-23 * std::fabs(expected[p][i]) + floorFlip)
                        << "D " << diameter << " tiles " << tiles.rows << " x " << tiles.columns << " plane " << p
                        << " at " << i << " path " << static_cast<int>(path);
            }
        }
    }
}

// Which thread takes which tile, and how many take part, must not change a bit: bands of several tiles
// (with batches that span bands), and planes of one tile each, which go to the threads together.
TEST(FftConvolution, EveryThreadCountGivesTheSameResult) {
    for (const auto& [width, height, tiles] : {std::tuple{97, 61, FftTileShape{16, 20}}, std::tuple{40, 30, kChosen}}) {
        std::vector<Plane> input;
        for (std::uint32_t p = 0; p < 4; ++p) input.push_back(RandomPlane(width, height, 40 + p));
        EngineRun alone(kModeRGB, 4);
        const std::vector<Plane> expected = RunTiles(alone, 9, width, height, input, tiles, 1);
        ASSERT_EQ(alone.result, kNoError);
        for (const std::int32_t threads : {2, 3, 8}) {
            EngineRun host(kModeRGB, 4);
            EXPECT_EQ(RunTiles(host, 9, width, height, input, tiles, threads), expected) << threads << " threads";
            EXPECT_EQ(host.result, kNoError);
        }
    }
}

// Progress counts tiles, the kernel spectrum as one: from 0 before any work, never down, to the total,
// which every report carries; every report follows a cancel poll.
TEST(FftConvolution, ProgressRisesFromZeroToATotalOfTiles) {
    for (const std::int16_t planes : {std::int16_t{0}, std::int16_t{1}, std::int16_t{3}}) {
        for (const FftTileShape tiles : {FftTileShape{16, 18}, kChosen}) {
            EngineRun host(kModeRGB, planes);
            std::vector<Plane> input;
            for (std::int16_t p = 0; p < planes; ++p) input.push_back(RandomPlane(50, 45, 1));
            RunTiles(host, 7, 50, 45, input, tiles);
            ASSERT_EQ(host.result, kNoError);
            const std::int32_t total = 1 + planes * TilesPerPlane(tiles, 50, 45, 7);
            ASSERT_GE(host.log.progressDone.size(), 2u);
            EXPECT_EQ(host.log.progressDone.front(), 0);
            EXPECT_EQ(host.log.progressDone.back(), total);
            EXPECT_TRUE(std::is_sorted(host.log.progressDone.begin(), host.log.progressDone.end()));
            EXPECT_EQ(host.log.progressTotal, std::vector<std::int32_t>(host.log.progressDone.size(), total));
            EXPECT_EQ(host.log.abortCalls, static_cast<std::int32_t>(host.log.progressDone.size()));
        }
    }
}

TEST(FftConvolution, CancelBetweenPlanesKeepsTheFilteredOnesAndLeavesTheRest) {
    const std::vector<Plane> input = {RandomPlane(50, 45, 1), RandomPlane(50, 45, 2), RandomPlane(50, 45, 3)};
    const FftTileShape tiles{16, 18};
    EngineRun reference(kModeRGB, 3);
    const std::vector<Plane> filtered = RunTiles(reference, 7, 50, 45, input, tiles);
    ASSERT_EQ(reference.result, kNoError);

    // The first check point of plane 1 is the one that reports the kernel and plane 0's tiles done.
    const auto& done = reference.log.progressDone;
    const auto first = std::find(done.begin(), done.end(), 1 + TilesPerPlane(tiles, 50, 45, 7));
    ASSERT_NE(first, done.end());
    const std::int64_t live = LiveAllocations();
    EngineRun host(kModeRGB, 3);
    host.log.abortAtCall = static_cast<std::int32_t>(first - done.begin()) + 1;
    const std::vector<Plane> output = RunTiles(host, 7, 50, 45, input, tiles);
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
    const Plane output = RunTiles(host, 31, 10, 100, {input})[0];
    EXPECT_EQ(host.result, kUserCanceled);
    EXPECT_EQ(host.log.abortCalls, 1);  // the first check point only
    EXPECT_EQ(output, input);
}

// A kernel longer than any transform, and shapes the transforms cannot take or the kernel does not fit,
// are refused before anything is read or allocated.
TEST(FftConvolution, ShapesThatCannotServeAreRefusedBeforeAnyWork) {
    Plane plane(4, 0.5f);
    const PlaneView view{plane.data(), 4, 1, 4};
    const std::int64_t made = AllocationsMade();
    EngineRun host(kModeGrayScale, 1);
    EXPECT_EQ(FftConvolve(host.Job(fft::kLargestLength + 1, 4, 1), std::span<const PlaneView>(&view, 1), nullptr,
                          host.checkPoints),
              kOutOfMemory);
    for (const FftTileShape tiles : {FftTileShape{6, 8}, FftTileShape{8, 6}, FftTileShape{7, 8}, FftTileShape{8, 14}})
        EXPECT_EQ(FftConvolveInTiles(host.Job(7, 4, 1), std::span<const PlaneView>(&view, 1), host.checkPoints, tiles,
                                     fft::SimdPath::kBest),
                  kBadParameters)
            << tiles.rows << " x " << tiles.columns;
    EXPECT_EQ(host.log.abortCalls, 0);
    EXPECT_EQ(AllocationsMade(), made);
    EXPECT_EQ(plane, Plane(4, 0.5f));
}

// The chosen tiles are transforms the plans take, hold the kernel, are never larger than one tile that
// covers the image, and stay within a few kernels on large images, so that per-thread memory does.
TEST(FftConvolution, TileShapesFitTheKernelAndTheImage) {
    for (const std::int32_t width : {1, 7, 300, 4000, 12000}) {
        for (const std::int32_t height : {1, 200, 8400}) {
            for (const std::int32_t diameter : {1, 21, 101, 201, 1001}) {
                const FftTileShape shape = ChooseFftTileShape(width, height, diameter);
                SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + ", D " + std::to_string(diameter));
                EXPECT_TRUE(fft::IsGoodLength(shape.rows));
                EXPECT_TRUE(shape.columns % 2 == 0 && fft::IsGoodLength(shape.columns / 2));
                EXPECT_GE(std::min(shape.rows, shape.columns), diameter);
                EXPECT_LE(shape.rows, fft::GoodLengthAtLeast(height + diameter - 1));
                EXPECT_LE(shape.columns, fft::GoodRealLengthAtLeast(width + diameter - 1));
                EXPECT_LE(std::max(shape.rows, shape.columns), std::max(300, 6 * diameter));
            }
        }
    }
}

}  // namespace
}  // namespace aperlume
