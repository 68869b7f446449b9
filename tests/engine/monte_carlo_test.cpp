// The Monte Carlo method: settling schedule, windows at the border, transparency, the sample bound, the
// generator's use, and the mean of many renders against the exact weighted mean.
#include "engine/monte_carlo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/aperture_kernel.h"
#include "engine/methods.h"
#include "engine/random.h"
#include "fft/fft.h"
#include "method_harness.h"
#include "base/result.h"
#include "base/working_memory.h"

namespace aperlume {
namespace {

using enginetest::EngineRun;
using enginetest::Plane;
using enginetest::RandomPlane;

constexpr ChannelAssignment kGray{1, false};
constexpr ChannelAssignment kGrayAlpha{1, true};
constexpr ChannelAssignment kColour{3, false};
constexpr ChannelAssignment kColourAlpha{3, true};

// A kernel given element by element, with its table of positive weights.
struct HandKernel {
    HandKernel(std::int32_t d, std::vector<float> w)
        : diameter(d), weights(std::move(w)), counts(static_cast<std::size_t>((d + 1) * (d + 1))) {
        CountPositiveWeights(weights.data(), diameter, counts.data());
    }
    explicit HandKernel(const FilterParameters& settings, std::int32_t d)
        : HandKernel(d, Drawn(settings, d)) {}

    static std::vector<float> Drawn(const FilterParameters& settings, std::int32_t d) {
        std::vector<float> w(static_cast<std::size_t>(d) * d);
        BuildApertureKernel(settings, d, d, d, w.data());
        return w;
    }
    SampledAperture View() const { return {weights.data(), counts.data(), diameter}; }

    std::int32_t diameter;
    std::vector<float> weights;
    std::vector<std::uint32_t> counts;
};

FilterParameters Disc() {
    FilterParameters settings = kDefaultParameters;
    settings.vertices = 1;
    return settings;
}

std::vector<WorkPixel> Pixels(std::int32_t count, WorkPixel value) {
    return std::vector<WorkPixel>(static_cast<std::size_t>(count), value);
}

std::vector<Plane> RunMonteCarlo(EngineRun& host, std::int32_t diameter, std::int32_t width, std::int32_t height,
                                 std::vector<Plane> planes) {
    return enginetest::RunMethod(&MonteCarloConvolve, host, diameter, width, height, std::move(planes));
}

// The method as first written, pixel by pixel from its own copy of the sequence: the oracle for every
// draw, every sum and every settling decision.
WorkPixel OracleEstimate(const ChannelAssignment& channels, std::int32_t x, std::int32_t y, const std::vector<float>& kernel,
                         std::int32_t d, std::int32_t width, std::int32_t height, const std::vector<WorkPixel>& source,
                         RandomSequence& random) {
    const std::int32_t r = d / 2;
    const std::int32_t x0 = std::max(0, x - r);
    const std::int32_t y0 = std::max(0, y - r);
    const std::int32_t columnSpan = std::min(width - 1, x + r) - x0;
    const std::int32_t rowSpan = std::min(height - 1, y + r) - y0;
    const auto weight = [&](std::int32_t i, std::int32_t j) { return kernel[(r + y - y0 - j) * d + r + x - x0 - i]; };
    bool anyPositive = false;
    for (std::int32_t j = 0; j <= rowSpan; ++j)
        for (std::int32_t i = 0; i <= columnSpan; ++i) anyPositive = anyPositive || weight(i, j) > 0.0f;
    const std::int32_t colours = channels.colourChannels;
    const bool alpha = channels.hasAlpha;
    double w = 0.0, aw = 0.0, e[4] = {0.0, 0.0, 0.0, 0.0};
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f}, previous[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const auto estimate = [&] {
        if (w > 0.0) {
            if (colours == 3) {
                const double reciprocal = 1.0 / w;
                for (int c = 0; c < 3; ++c) e[c] = v[c] * reciprocal;
            } else {
                e[0] = v[0] / w;
            }
        }
        if (alpha && aw > 0.0) e[3] = v[3] / aw;
    };
    std::int32_t settled = 0;
    double column = 0.0;
    for (std::int32_t k = 1; anyPositive && k <= 4096; ++k) {
        column += 0.26854893157987464;
        if (column >= 1.0) column -= 1.0;
        const auto i = static_cast<std::int32_t>(columnSpan * column + 0.5);
        const auto j = static_cast<std::int32_t>(static_cast<double>(random.Next()) * rowSpan * 3.051850947599719e-05 + 0.5);
        const float wt = weight(i, j);
        const WorkPixel& s = source[static_cast<std::size_t>((y0 + j) * width + x0 + i)];
        if (!alpha || (wt > 0.0f && s.c[3] > 0.0f)) {
            w += wt;
            for (int c = 0; c < colours; ++c) v[c] += wt * s.c[c];
            if (alpha) v[3] += wt * s.c[3];
        }
        if (alpha && wt > 0.0f) aw += wt;
        if (!((alpha ? aw : w) > 0.0) || (k <= 100 && k % 20 != 0)) continue;
        estimate();
        bool ok = true;
        if (!(alpha && aw > 0.0 && !(w > 0.0))) {
            for (int c = 0; c < colours; ++c) ok = ok && std::fabs(e[c] - previous[c]) < 0.001;
            if (alpha) ok = ok && std::fabs(e[3] - previous[3]) < 0.001;
            if (!ok)
                for (int c = 0; c < 4; ++c) previous[c] = static_cast<float>(e[c]);
        }
        if (ok && ++settled > 1) break;
    }
    estimate();
    WorkPixel out = source[static_cast<std::size_t>(y * width + x)];
    for (int c = 0; c < colours; ++c) out.c[c] = w > 0.0 ? static_cast<float>(e[c]) : out.c[c];
    if (alpha && aw > 0.0) out.c[3] = static_cast<float>(e[3]);
    return out;
}

// The method through each instruction set's fast loop.
template <fft::SimdPath kPath>
Result MonteCarloOn(const RenderJob& job, std::span<const PlaneView> planes, const float*, CheckPoints& checkPoints) {
    return MonteCarloConvolveWith(kPath, job, planes, checkPoints);
}

// Gray and colour, with and without transparency, through the baseline and the processor's best loops:
// apertures with holes and soft edges, images smaller than the aperture, taller than the source ring
// (which then wraps), noise that settles only after sample 100 (so that pixels end inside a block of
// draws), an aperture beyond the fast loop's, transparent patches and values no image holds (infinite, NaN that never settles, huge): every
// value and the sequence's state after the run are the oracle's, bit for bit (NaN for NaN).
TEST(MonteCarlo, EveryEstimateAndDrawIsTheStraightforwardLoops) {
    struct Case {
        std::int16_t mode, planes;
        ChannelAssignment channels;
    };
    for (const SpreadMethod method : {&MonteCarloOn<fft::SimdPath::kBaseline>, &MonteCarloOn<fft::SimdPath::kBest>}) {
        for (const Case& layout : {Case{kModeGrayScale, 1, kGray}, Case{kModeGrayScale, 2, kGrayAlpha},
                                   Case{kModeRGB, 3, kColour}, Case{kModeRGB48, 4, kColourAlpha}}) {
            for (const auto& [settings, d, width, height] :
                 {std::tuple{Disc(), 1, 9, 7}, std::tuple{enginetest::Aperture(6, 0, 0, 15, 1), 9, 31, 12},
                  std::tuple{enginetest::Aperture(5, 50, 100, 0, 0), 21, 17, 13}, std::tuple{enginetest::Aperture(3, 30, -50, 33, 0), 7, 40, 6},
                  std::tuple{Disc(), 5, 8, 150}, std::tuple{Disc(), 15, 36, 24}, std::tuple{Disc(), 1027, 4, 3}}) {
                EngineRun host(layout.mode, layout.planes);
                host.Settings() = settings;
                std::vector<Plane> input;
                for (std::int16_t p = 0; p < layout.planes; ++p) input.push_back(RandomPlane(width, height, 70u + static_cast<std::uint32_t>(p)));
                input[0][3] = std::numeric_limits<float>::infinity();
                input[0][5] = std::numeric_limits<float>::quiet_NaN();
                input.back()[8] = 3e38f;
                if (layout.channels.hasAlpha)
                    for (std::int32_t i = 0; i < width * height; i += 3) input.back()[static_cast<std::size_t>(i)] = 0.0f;
                std::vector<WorkPixel> source(input[0].size(), WorkPixel{{0.0f, 0.0f, 0.0f, 0.0f}});
                for (std::size_t i = 0; i < source.size(); ++i) {
                    for (int c = 0; c < layout.channels.colourChannels; ++c) source[i].c[c] = input[static_cast<std::size_t>(c)][i];
                    if (layout.channels.hasAlpha) source[i].c[3] = input.back()[i];
                }
                RandomSequence random{RandomState()};
                const std::vector<float> kernel = HandKernel::Drawn(settings, d);
                const std::vector<Plane> output = enginetest::RunMethod(method, host, d, width, height, input);
                ASSERT_EQ(host.result, kNoError);
                for (std::int32_t y = 0; y < height; ++y) {
                    for (std::int32_t x = 0; x < width; ++x) {
                        const WorkPixel expected = OracleEstimate(layout.channels, x, y, kernel, d, width, height, source, random);
                        const auto at = static_cast<std::size_t>(y * width + x);
                        for (std::size_t p = 0; p < output.size(); ++p) {
                            const float value = expected.c[p < static_cast<std::size_t>(layout.channels.colourChannels) ? p : 3];
                            // Any NaN (the render makes each 0; which NaN an operation passes on is the compiler's
                            // choice of operand order).
                            if (std::isnan(value) && std::isnan(output[p][at])) continue;
                            ASSERT_EQ(std::bit_cast<std::uint32_t>(output[p][at]), std::bit_cast<std::uint32_t>(value))
                                << "planes " << layout.planes << " D " << d << " plane " << p << " at " << x << "," << y;
                        }
                    }
                }
                EXPECT_EQ(RandomState(), random.state);
            }
        }
    }
}

TEST(MonteCarlo, ConstantPixelSettlesAfterSixtySamplesOrFortyBelowTheTolerance) {
    const HandKernel kernel(Disc(), 9);
    const std::int32_t width = 15;
    const std::int32_t height = 12;
    for (const float value : {0.5f, 0.0009f}) {
        const std::int32_t expected = value >= 0.001f ? 60 : 40;
        const std::vector<WorkPixel> source = Pixels(width * height, WorkPixel{{value, value, value, 1.0f}});
        for (const ChannelAssignment& channels : {kGray, kColour}) {
            std::vector<WorkPixel> result = Pixels(width * height, WorkPixel{{-1.0f, -1.0f, -1.0f, -1.0f}});
            for (std::int32_t y = 0; y < height; ++y) {
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::int32_t samples =
                        EstimatePixel(channels, x, y, kernel.View(), width, height, source.data(), result.data());
                    EXPECT_EQ(samples, expected) << x << "," << y;
                    const WorkPixel& out = result[y * width + x];
                    for (int ch = 0; ch < channels.colourChannels; ++ch) EXPECT_NEAR(out.c[ch], value, 1e-6f);
                    EXPECT_EQ(out.c[3], -1.0f);  // not a channel of these layouts: never written
                }
            }
        }
    }
}

TEST(MonteCarlo, UpToSampleOneHundredEveryTwentiethIsCheckedAndFromThenOnEverySample) {
    // Noise under a wide flat window settles slowly: many pixels run past sample 100, where every sample
    // is a check, so they stop wherever the second settled check falls.
    const HandKernel kernel(21, std::vector<float>(21 * 21, 1.0f));
    const std::int32_t width = 30;
    const std::int32_t height = 30;
    std::vector<WorkPixel> source(static_cast<std::size_t>(width) * height);
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> noise(0.0f, 1.0f);
    for (WorkPixel& p : source) p = WorkPixel{{noise(generator), 0.0f, 0.0f, 0.0f}};
    std::vector<WorkPixel> result(source.size());
    std::int32_t late = 0;
    std::int32_t lateOffSchedule = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::int32_t samples =
                EstimatePixel(kGray, x, y, kernel.View(), width, height, source.data(), result.data());
            ASSERT_GE(samples, 40);
            if (samples <= 100) {
                EXPECT_EQ(samples % 20, 0) << x << "," << y;
            } else {
                ++late;
                lateOffSchedule += samples % 20 != 0 ? 1 : 0;
            }
        }
    }
    EXPECT_GT(late, 100);
    EXPECT_GT(lateOffSchedule, late / 2);
}

TEST(MonteCarlo, EverySampleDrawsExactlyOneRowFromTheProjectsGenerator) {
    const HandKernel kernel(Disc(), 7);
    const std::vector<WorkPixel> source = Pixels(100, WorkPixel{{0.25f, 0.0f, 0.0f, 0.0f}});
    std::vector<WorkPixel> result = Pixels(100, WorkPixel{});
    RandomSequence expected{RandomState()};
    const std::int32_t samples = EstimatePixel(kGray, 5, 5, kernel.View(), 10, 10, source.data(), result.data());
    for (std::int32_t i = 0; i < samples; ++i) expected.Next();
    EXPECT_EQ(RandomState(), expected.state);
}

TEST(MonteCarlo, DiameterOneKeepsEveryPixel) {
    EngineRun host(kModeRGB, 3);
    const std::vector<Plane> input = {RandomPlane(9, 7, 1), RandomPlane(9, 7, 2), RandomPlane(9, 7, 3)};
    const std::vector<Plane> output = RunMonteCarlo(host, 1, 9, 7, input);
    ASSERT_EQ(host.result, kNoError);
    for (std::size_t p = 0; p < 3; ++p)
        for (std::size_t i = 0; i < input[p].size(); ++i) EXPECT_NEAR(output[p][i], input[p][i], 1e-6f);
}

// D = 5, r = 2: the corner (0, 0) sees a 3 x 3 window, and source (sx, sy) weighs K[2 - sy][2 - sx]: the
// aperture as drawn, centred on the source. Only K[2][1] is positive, so only source (1, 0) counts.
TEST(MonteCarlo, CornerUsesTheQuarterWindowAndTheMatchingQuarterOfTheKernel) {
    std::vector<float> weights(25, 0.0f);
    weights[2 * 5 + 1] = 1.0f;
    const HandKernel kernel(5, weights);
    std::vector<WorkPixel> source = Pixels(8 * 6, WorkPixel{{0.2f, 0.0f, 0.0f, 0.0f}});
    source[0 * 8 + 1].c[0] = 0.8f;
    std::vector<WorkPixel> result = Pixels(8 * 6, WorkPixel{});
    EXPECT_GT(EstimatePixel(kGray, 0, 0, kernel.View(), 8, 6, source.data(), result.data()), 0);
    EXPECT_FLOAT_EQ(result[0].c[0], 0.8f);

    // K[2][3] lies over source (-1, 0), outside the image: the window holds no positive weight.
    std::vector<float> outside(25, 0.0f);
    outside[2 * 5 + 3] = 1.0f;
    const HandKernel offImage(5, outside);
    EXPECT_EQ(EstimatePixel(kGray, 0, 0, offImage.View(), 8, 6, source.data(), result.data()), 0);
    EXPECT_FLOAT_EQ(result[0].c[0], 0.2f);
    // ...while one column further in it reaches source (0, 0).
    EXPECT_GT(EstimatePixel(kGray, 1, 0, offImage.View(), 8, 6, source.data(), result.data()), 0);
    EXPECT_FLOAT_EQ(result[1].c[0], 0.2f);
}

TEST(MonteCarlo, FullyTransparentWindowGivesAlphaZeroAndKeepsTheColour) {
    const HandKernel kernel(Disc(), 5);
    std::vector<WorkPixel> source(30);
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto step = static_cast<float>(i % 7);
        source[i] = WorkPixel{{0.1f * step, 0.3f, 0.05f * step, i % 2 == 0 ? 0.0f : -0.5f}};
    }
    for (const ChannelAssignment& channels : {kColourAlpha, kGrayAlpha}) {
        std::vector<WorkPixel> result(30);
        for (std::int32_t y = 0; y < 5; ++y) {
            for (std::int32_t x = 0; x < 6; ++x) {
                // Settles at each check (alpha weight, no colour weight): the second check ends it.
                EXPECT_EQ(EstimatePixel(channels, x, y, kernel.View(), 6, 5, source.data(), result.data()), 40);
                const WorkPixel& out = result[y * 6 + x];
                const WorkPixel& own = source[y * 6 + x];
                for (int ch = 0; ch < channels.colourChannels; ++ch) EXPECT_EQ(out.c[ch], own.c[ch]);
                EXPECT_EQ(out.c[3], 0.0f);
            }
        }
    }
}

TEST(MonteCarlo, AlphaIsTheMeanOverAllWeightsAndColourOverOpaqueOnes) {
    // A uniform 3 x 3 kernel over a 3 x 3 image: the centre pixel sees the whole image. The top row is
    // opaque with one colour, the rest transparent with another.
    const HandKernel kernel(3, std::vector<float>(9, 1.0f));
    std::vector<WorkPixel> source = Pixels(9, WorkPixel{{0.9f, 0.9f, 0.9f, 0.0f}});
    for (int x = 0; x < 3; ++x) source[x] = WorkPixel{{0.2f, 0.4f, 0.6f, 1.0f}};
    std::vector<WorkPixel> result(9);
    EstimatePixel(kColourAlpha, 1, 1, kernel.View(), 3, 3, source.data(), result.data());
    EXPECT_NEAR(result[4].c[0], 0.2f, 1e-6f);  // only opaque pixels carry colour
    EXPECT_NEAR(result[4].c[1], 0.4f, 1e-6f);
    EXPECT_NEAR(result[4].c[2], 0.6f, 1e-6f);
    // The top row is drawn about a quarter of the time (edge rows half as often as the middle one).
    EXPECT_GT(result[4].c[3], 0.05f);
    EXPECT_LT(result[4].c[3], 0.5f);
}

TEST(MonteCarlo, SamplesOfAPixelAreBounded) {
    // Values far outside 0..1 alternate so strongly that no check ever settles.
    const HandKernel kernel(5, std::vector<float>(25, 1.0f));
    std::vector<WorkPixel> source(25);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = WorkPixel{{i % 2 == 0 ? 1e7f : -1e7f, 0, 0, 0}};
    std::vector<WorkPixel> result(25);
    EXPECT_EQ(EstimatePixel(kGray, 2, 2, kernel.View(), 5, 5, source.data(), result.data()), kMaxSamplesPerPixel);
    EXPECT_TRUE(std::isfinite(result[12].c[0]));
    EXPECT_LE(std::fabs(result[12].c[0]), 1e7f);
}

// The alternating sum over a window's corners counts what the window reads: source (sx, sy) weighs
// K[r + y - sy][r + x - sx], counted here one by one, for windows cut by every border and by an image
// smaller than the aperture. At an aperture of 46341 (a table of more than 2^31 entries) on an image
// over 23170 rows, the offsets must still be exact; a render of that size would need about 17 GB.
TEST(MonteCarlo, WindowCornersCountThePositiveWeightsTheWindowReads) {
    for (const std::int32_t diameter : {1, 5, 9}) {
        const HandKernel kernel(enginetest::Aperture(3, 50, 100, 20, 0), diameter);  // a ring: zeros inside
        const std::int32_t r = diameter / 2;
        const std::int64_t stride = diameter + 1;
        for (const auto& [width, height] : {std::pair{3, 2}, std::pair{12, 7}, std::pair{1, 11}}) {
            for (std::int32_t y = 0; y < height; ++y) {
                for (std::int32_t x = 0; x < width; ++x) {
                    std::uint32_t expected = 0;
                    for (std::int32_t sy = std::max(0, y - r); sy <= std::min(height - 1, y + r); ++sy)
                        for (std::int32_t sx = std::max(0, x - r); sx <= std::min(width - 1, x + r); ++sx)
                            expected += kernel.weights[(r + y - sy) * diameter + (r + x - sx)] > 0.0f ? 1u : 0u;
                    const CountWindow w = CountWindowAt(x, y, diameter, width, height);
                    for (const std::int64_t corner : {w.endEnd, w.beginEnd, w.endBegin, w.beginBegin}) {
                        ASSERT_GE(corner, 0);
                        ASSERT_LT(corner, stride * stride);
                    }
                    const auto at = [&](std::int64_t i) { return kernel.counts[static_cast<std::size_t>(i)]; };
                    EXPECT_EQ(at(w.endEnd) - at(w.beginEnd) - at(w.endBegin) + at(w.beginBegin), expected)
                        << "D " << diameter << " at " << x << "," << y << " of " << width << "x" << height;
                }
            }
        }
    }
    // The last row of a 46341 x 23171 image reads the aperture's rows r.. as drawn, every column.
    const std::int64_t d = 46341;
    const std::int64_t r = d / 2;
    const CountWindow w = CountWindowAt(23170, 23170, 46341, 46341, 23171);
    EXPECT_EQ(w.endEnd, d * (d + 1) + d);
    EXPECT_EQ(w.beginEnd, r * (d + 1) + d);
    EXPECT_EQ(w.endBegin, d * (d + 1));
    EXPECT_EQ(w.beginBegin, r * (d + 1));
}

// Beyond the largest aperture the counts would no longer be exact: refused before any buffer is taken.
TEST(MonteCarlo, AperturesBeyondTheLargestAreOutOfMemoryBeforeAnyAllocation) {
    EngineRun host(kModeGrayScale, 1);
    const std::int64_t made = AllocationsMade();
    const std::vector<Plane> input = {Plane(6, 0.5f)};
    EXPECT_EQ(RunMonteCarlo(host, kLargestSampledDiameter + 2, 3, 2, input), input);
    EXPECT_EQ(host.result, kOutOfMemory);
    EXPECT_EQ(AllocationsMade(), made);
}

TEST(MonteCarlo, ReportsProgressOncePerRow) {
    EngineRun host(kModeRGB, 3);
    const std::int32_t width = 23;
    const std::int32_t height = 17;
    RunMonteCarlo(host, 9, width, height, {RandomPlane(width, height, 1), RandomPlane(width, height, 2),
                                           RandomPlane(width, height, 3)});
    ASSERT_EQ(host.result, kNoError);
    EXPECT_EQ(host.log.progressDone.size(), static_cast<std::size_t>(height));
    EXPECT_EQ(host.log.abortCalls, height);
    for (std::int32_t y = 0; y < height; ++y) {
        EXPECT_EQ(host.log.progressDone[y], y);
        EXPECT_EQ(host.log.progressTotal[y], height);
    }
}

// One plane of an RGB image is laid out by its count (gray): only that plane is read and written.
TEST(MonteCarlo, PlaneCountsOutsideTheTableAreLaidOutByTheirCount) {
    EngineRun host(kModeRGB, 1);
    const std::vector<Plane> output = RunMonteCarlo(host, 5, 10, 6, {Plane(60, 0.45f)});
    EXPECT_EQ(host.result, kNoError);
    for (float v : output[0]) EXPECT_NEAR(v, 0.45f, 1e-6f);
}

// Weight of window position `offset` of `span`: positions are drawn by rounding a uniform value in
// 0..span, so the first and last are drawn half as often as the others.
double DrawDensity(std::int32_t offset, std::int32_t span) {
    return span > 0 && (offset == 0 || offset == span) ? 0.5 : 1.0;
}

// The estimate is noisy but, averaged over many renders, lands near the weighted mean of the window
// under the aperture (the direct method's result), with the window's edges weighted by how often they
// are drawn. A triangle catches a kernel read the wrong way round.
TEST(MonteCarlo, MeanOfManyRendersApproachesTheWeightedMeanOfTheWindow) {
    const std::int32_t width = 14;
    const std::int32_t height = 10;
    const std::int32_t diameter = 7;
    Plane input(static_cast<std::size_t>(width) * height);
    std::mt19937 generator(5);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            input[y * width + x] = static_cast<float>(0.3 + 0.04 * x + 0.02 * y) + noise(generator);

    EngineRun host(kModeGrayScale, 1);
    host.Settings().vertices = 3;
    std::vector<double> mean(input.size(), 0.0);
    const int renders = 200;
    for (int i = 0; i < renders; ++i) {
        const Plane output = RunMonteCarlo(host, diameter, width, height, {input})[0];
        ASSERT_EQ(host.result, kNoError);
        for (std::size_t j = 0; j < mean.size(); ++j) mean[j] += output[j] / renders;
    }

    const std::vector<float> kernel = HandKernel::Drawn(host.Settings(), diameter);
    const std::int32_t r = diameter / 2;
    double worstDrawn = 0.0;
    double worstExact = 0.0;
    double spread = 0.0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::int32_t x0 = std::max(0, x - r);
            const std::int32_t y0 = std::max(0, y - r);
            const std::int32_t columnSpan = std::min(width - 1, x + r) - x0;
            const std::int32_t rowSpan = std::min(height - 1, y + r) - y0;
            double exactSum = 0.0;
            double exactWeight = 0.0;
            double drawnSum = 0.0;
            double drawnWeight = 0.0;
            for (std::int32_t j = 0; j <= rowSpan; ++j) {
                for (std::int32_t i = 0; i <= columnSpan; ++i) {
                    const std::int32_t sx = x0 + i;
                    const std::int32_t sy = y0 + j;
                    const double w = kernel[(r + y - sy) * diameter + (r + x - sx)];
                    const double density = DrawDensity(i, columnSpan) * DrawDensity(j, rowSpan);
                    exactSum += w * input[sy * width + sx];
                    exactWeight += w;
                    drawnSum += density * w * input[sy * width + sx];
                    drawnWeight += density * w;
                }
            }
            const double estimate = mean[y * width + x];
            worstDrawn = std::fmax(worstDrawn, std::fabs(estimate - drawnSum / drawnWeight));
            worstExact = std::fmax(worstExact, std::fabs(estimate - exactSum / exactWeight));
            spread = std::fmax(spread, std::fabs(input[y * width + x] - exactSum / exactWeight));
        }
    }
    EXPECT_LT(worstDrawn, 0.01);
    EXPECT_LT(worstExact, 0.03);
    EXPECT_GT(spread, 0.1);  // the blur itself is far larger than what separates the two
}

TEST(MonteCarlo, RefusesModesWithoutAChannelAssignment) {
    for (const std::int16_t mode : {std::int16_t{kModeCMYK}, std::int16_t{kModeLab}, std::int16_t{2}}) {
        EngineRun host(mode, 3);
        const std::vector<Plane> input = {Plane(4, 0.5f), Plane(4, 0.5f), Plane(4, 0.5f)};
        EXPECT_EQ(RunMonteCarlo(host, 3, 2, 2, input), input);
        EXPECT_EQ(host.result, kBadMode) << mode;
    }
}

}  // namespace
}  // namespace aperlume
