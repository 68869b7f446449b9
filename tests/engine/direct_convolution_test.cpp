// The direct convolution method: the whole chain from settings to spread pixels, checked against the
// aperture as drawn and against a naive summation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/aperture_kernel.h"
#include "engine/direct_convolution.h"
#include "engine/methods.h"
#include "engine/pixel_layout.h"
#include "engine_fixture.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "fft/fft.h"

namespace aperlume {
namespace {

using enginetest::Aperture;

using enginetest::EngineRun;
using Planes = std::vector<std::vector<float>>;

struct Image {
    int width;
    int height;
    Planes planes;
    float& At(int plane, int x, int y) { return planes[static_cast<std::size_t>(plane)][Index(x, y)]; }
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y * width + x); }
};

Image Constant(int width, int height, std::vector<float> values) {
    Image image{width, height, {}};
    for (float v : values) image.planes.emplace_back(static_cast<std::size_t>(width * height), v);
    return image;
}

Image Random(int width, int height, int planeCount, std::uint32_t seed, int alphaPlane = -1) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    Image image = Constant(width, height, std::vector<float>(static_cast<std::size_t>(planeCount), 0.0f));
    for (int p = 0; p < planeCount; ++p) {
        for (float& v : image.planes[static_cast<std::size_t>(p)]) {
            v = value(generator);
            // About a third of the pixels fully transparent, to exercise the colour/alpha split.
            if (p == alphaPlane && v < 0.33f) v = 0.0f;
        }
    }
    return image;
}

// Depth values as a selection mask gives them: multiples of 1/255.
std::vector<float> RandomDepth(int width, int height, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> level(0, 255);
    std::vector<float> depth(static_cast<std::size_t>(width * height));
    for (float& d : depth) d = static_cast<float>(level(generator) * (1.0 / 255.0));
    return depth;
}

void Convolve(EngineRun& host, int diameter, Image& image, const float* depth = nullptr) {
    const std::vector<PlaneView> views = enginetest::Views(image.planes, image.width, image.height);
    host.result = DirectConvolve(host.Job(diameter, image.width, image.height), views, depth, host.checkPoints);
}

std::vector<float> Kernel(const FilterParameters& settings, int size, int diameter) {
    std::vector<float> k(static_cast<std::size_t>(diameter * diameter));
    BuildApertureKernel(settings, size, diameter, diameter, k.data());
    return k;
}

// The method written out the slow way, one window visit per pixel pair, with double sums: the oracle.
Planes NaiveDirect(const FilterParameters& settings, std::int16_t mode, const Image& image, int diameter,
                   const float* depth) {
    const int planeCount = static_cast<int>(image.planes.size());
    const ChannelAssignment channels = AssignChannels(PixelLayout(mode, static_cast<std::int16_t>(planeCount)), planeCount);
    const int colours = channels.colourChannels;
    const int alpha = channels.hasAlpha ? colours : -1;
    const int w = image.width;
    const int h = image.height;
    const int r = diameter / 2;
    const std::size_t pixels = static_cast<std::size_t>(w * h);

    std::vector<std::vector<float>> kernels(static_cast<std::size_t>(diameter + 1));
    std::vector<int> codes(pixels, 0);
    if (depth != nullptr) {
        for (std::size_t j = 0; j < pixels; ++j) {
            const double f = settings.focus * 0.00392156862745098;
            int s = static_cast<int>(std::fabs(depth[j] - f) * diameter + 0.5);
            if (s % 2 == 0) s += 1;
            codes[j] = depth[j] > f ? -s : s;
            std::vector<float>& k = kernels[static_cast<std::size_t>(s)];
            if (!k.empty()) continue;
            k = Kernel(settings, s, diameter);
            const auto count = static_cast<float>(std::count_if(k.begin(), k.end(), [](float v) { return v != 0; }));
            for (float& v : k) v = v != 0 ? v / count : v;
        }
    } else {
        kernels[static_cast<std::size_t>(diameter)] = Kernel(settings, diameter, diameter);
    }

    std::vector<std::vector<double>> sums(pixels, std::vector<double>(6, 0.0));  // 4 channels, colour weight, total
    auto accumulate = [&](std::size_t target, std::size_t source, double weight) {
        std::vector<double>& acc = sums[target];
        if (alpha >= 0 && !(image.planes[static_cast<std::size_t>(alpha)][source] > 0.0f)) {
            acc[5] += weight;
            return;
        }
        for (int c = 0; c < colours; ++c) acc[static_cast<std::size_t>(c)] += weight * image.planes[static_cast<std::size_t>(c)][source];
        if (alpha >= 0) acc[3] += weight * image.planes[static_cast<std::size_t>(alpha)][source];
        acc[4] += weight;
        acc[5] += weight;
    };
    for (int sy = 0; sy < h; ++sy) {
        for (int sx = 0; sx < w; ++sx) {
            const std::size_t s = static_cast<std::size_t>(sy * w + sx);
            for (int ty = std::max(0, sy - r); ty <= std::min(h - 1, sy + r); ++ty) {
                for (int tx = std::max(0, sx - r); tx <= std::min(w - 1, sx + r); ++tx) {
                    const std::size_t t = static_cast<std::size_t>(ty * w + tx);
                    // Both ways the source spreads over an aperture centred on itself: as drawn without a
                    // depth map, turned by 180 degrees with one.
                    float weight;
                    if (depth == nullptr) {
                        weight = kernels[static_cast<std::size_t>(diameter)]
                                        [static_cast<std::size_t>((r + ty - sy) * diameter + (r + tx - sx))];
                    } else {
                        if (codes[t] == 1 && codes[s] < 0) continue;
                        weight = kernels[static_cast<std::size_t>(std::abs(codes[s]))]
                                        [static_cast<std::size_t>((r - (ty - sy)) * diameter + (r - (tx - sx)))];
                    }
                    if (weight > 0) accumulate(t, s, weight);
                }
            }
        }
    }
    Planes out = image.planes;
    for (std::size_t j = 0; j < pixels; ++j) {
        for (int c = 0; c < colours; ++c)
            if (sums[j][4] > 0) out[static_cast<std::size_t>(c)][j] = static_cast<float>(sums[j][static_cast<std::size_t>(c)] / sums[j][4]);
        if (alpha >= 0 && sums[j][5] > 0) out[static_cast<std::size_t>(alpha)][j] = static_cast<float>(sums[j][3] / sums[j][5]);
    }
    return out;
}

void ExpectNear(const Planes& actual, const Planes& expected, float tolerance, const char* what) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t p = 0; p < actual.size(); ++p)
        for (std::size_t j = 0; j < actual[p].size(); ++j)
            ASSERT_NEAR(actual[p][j], expected[p][j], tolerance) << what << ": plane " << p << " pixel " << j;
}

TEST(DirectConvolve, OneBrightPixelSpreadsIntoTheApertureAsDrawn) {
    // Every target that the impulse reaches has its whole window inside the image, so its received weight
    // is the kernel's sum and its value the kernel's weight at its offset from the impulse, divided by it.
    constexpr int kSize = 45;
    constexpr int kCentre = 22;
    for (int vertices = 1; vertices <= 8; ++vertices) {
        for (int rotation : {0, 17, 90, 200}) {
            for (auto [edge, ratio] : {std::pair{0, 0}, std::pair{50, 60}, std::pair{70, -60}}) {
                for (auto [diameter, soft] : {std::pair{11, 0}, std::pair{21, 1}}) {
                    EngineRun host(kModeGrayScale, 1);
                    host.Settings() = Aperture(vertices, edge, ratio, rotation, soft);
                    Image image = Constant(kSize, kSize, {0.0f});
                    image.At(0, kCentre, kCentre) = 1.0f;
                    Convolve(host, diameter, image);
                    ASSERT_EQ(host.result, kNoError);

                    const std::vector<float> k = Kernel(host.Settings(), diameter, diameter);
                    double total = 0;
                    for (float v : k) total += v;
                    const int r = diameter / 2;
                    for (int y = 0; y < kSize; ++y) {
                        for (int x = 0; x < kSize; ++x) {
                            const bool inside = std::abs(x - kCentre) <= r && std::abs(y - kCentre) <= r;
                            const double expected =
                                inside ? k[static_cast<std::size_t>((y - kCentre + r) * diameter + (x - kCentre + r))] / total
                                       : 0.0;
                            ASSERT_NEAR(image.At(0, x, y), expected, 1e-6)
                                << "vertices " << vertices << " rotation " << rotation << " edge " << edge << " ratio "
                                << ratio << " D " << diameter << " at " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

TEST(DirectConvolve, KernelsOfTheCentreAloneKeepEveryColourAndClearAlphasAtOrBelowZero) {
    // D = 1 with and without a depth map, and a larger kernel whose rim weighs 0 (ratio -100, edge 0).
    struct Case {
        int diameter;
        FilterParameters aperture;
        bool depth;
    };
    const Case cases[] = {{1, Aperture(5, 0, 30, 0, 0), false}, {1, Aperture(1, 0, 0, 0, 1), true},
                          {9, Aperture(1, 0, -100, 0, 0), false}};
    for (const Case& c : cases) {
        EngineRun host(kModeRGB, 4);
        host.Settings() = c.aperture;
        host.Settings().depth = 1;
        Image image = Random(17, 13, 4, 1, 3);
        for (std::size_t j = 0; j < image.planes[3].size(); j += 5) image.planes[3][j] = -0.25f;
        Planes expected = image.planes;
        for (float& a : expected[3]) a = a > 0.0f ? a : 0.0f;
        const std::vector<float> depth = RandomDepth(17, 13, 1);
        Convolve(host, c.diameter, image, c.depth ? depth.data() : nullptr);
        EXPECT_EQ(host.result, kNoError);
        EXPECT_EQ(image.planes, expected) << "D " << c.diameter;
    }
}

// Where the impulse's spread reaches furthest left and right of it.
std::pair<int, int> HorizontalReach(const Image& image, int centre) {
    int left = centre;
    int right = centre;
    for (int x = 0; x < image.width; ++x) {
        for (int y = 0; y < image.height; ++y) {
            if (image.planes[0][image.Index(x, y)] > 0.0f) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return {centre - left, right - centre};
}

TEST(DirectConvolve, TrianglePointsOneWayWithoutADepthMapAndTheOtherWithOne) {
    EngineRun host(kModeGrayScale, 1);
    host.Settings() = Aperture(3, 0, 0, 0, 0);  // first vertex at +x
    Image uniform = Constant(31, 31, {0.0f});
    uniform.At(0, 15, 15) = 1.0f;
    Image scattered = uniform;
    Convolve(host, 21, uniform);
    ASSERT_EQ(host.result, kNoError);

    host.Settings().depth = 1;
    host.Settings().focus = 0;
    const std::vector<float> farAway(31 * 31, 1.0f);  // every pixel gets the full aperture
    Convolve(host, 21, scattered, farAway.data());
    ASSERT_EQ(host.result, kNoError);

    // The triangle reaches its full radius (10) towards its vertex, about half of it towards the opposite
    // side.
    const auto [uniformLeft, uniformRight] = HorizontalReach(uniform, 15);
    EXPECT_EQ(uniformRight, 10);
    EXPECT_LE(uniformLeft, 6);
    const auto [scatteredLeft, scatteredRight] = HorizontalReach(scattered, 15);
    EXPECT_EQ(scatteredLeft, 10);
    EXPECT_LE(scatteredRight, 6);
}

TEST(DirectConvolve, ColourIsTheMeanOfOpaquePixelsAndAlphaTheMeanOfAll) {
    // Three pixels in a row under a plus-shaped aperture (D = 3): each sees itself and its neighbours.
    for (bool withDepth : {false, true}) {
        EngineRun host(kModeRGB, 4);
        host.Settings() = Aperture(1, 0, 0, 0, 0);
        host.Settings().depth = withDepth ? 1 : 0;
        Image image = Constant(3, 1, {0, 0, 0, 0});
        image.planes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0.5f}};  // the middle one transparent
        const std::vector<float> depth(3, 1.0f);
        Convolve(host, 3, image, withDepth ? depth.data() : nullptr);
        ASSERT_EQ(host.result, kNoError);
        const Planes expected = {{1, 0.5f, 0}, {0, 0, 0}, {0, 0.5f, 1}, {0.5f, 0.5f, 0.25f}};
        ExpectNear(image.planes, expected, 1e-6f, withDepth ? "depth path" : "uniform path");
    }
}

TEST(DirectConvolve, FullyTransparentNeighbourhoodKeepsItsColourAndGetsAlphaZero) {
    for (auto [mode, planes] : {std::pair{kModeGrayScale, 2}, std::pair{kModeRGB48, 4}}) {
        EngineRun host(mode, static_cast<std::int16_t>(planes));
        host.Settings() = Aperture(1, 0, 0, 0, 0);
        Image image = Random(9, 7, planes, 3);
        std::fill(image.planes.back().begin(), image.planes.back().end(), 0.0f);
        Planes expected = image.planes;
        Convolve(host, 5, image);
        ASSERT_EQ(host.result, kNoError);
        EXPECT_EQ(image.planes, expected);
        for (const auto& plane : image.planes)
            for (float v : plane) ASSERT_TRUE(std::isfinite(v));
    }
}

// The bound the method holds against the naive double summation: 2^-22 of the value (two float
// rounding steps at 1.0), never less than 2^-22 absolute: a 16-bit level is 2^-16, so 8- and 16-bit
// results differ from the naive ones only where the exact value lies within 2^-22 of a rounding tie.
constexpr double kBound = 1.0 / (1 << 22);

void ExpectWithinBound(const Planes& actual, const Planes& expected, const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t p = 0; p < actual.size(); ++p)
        for (std::size_t j = 0; j < actual[p].size(); ++j)
            ASSERT_NEAR(actual[p][j], expected[p][j], kBound * std::max(1.0, std::fabs(double{expected[p][j]})))
                << what << ": plane " << p << " pixel " << j;
}

std::vector<fft::SimdPath> PathsOfThisMachine() {
    std::vector<fft::SimdPath> paths = {fft::SimdPath::kBaseline};
    if (fft::SimdPathAvailable(fft::SimdPath::kAvx2)) paths.push_back(fft::SimdPath::kAvx2);
    return paths;
}

TEST(DirectConvolve, MatchesTheNaiveSummationOnEveryPathAndAnyNumberOfThreads) {
    struct Layout {
        std::int16_t mode;
        int planes;
        int alphaPlane;
    };
    const Layout layouts[] = {{kModeRGB, 3, -1}, {kModeRGB, 4, 3}, {kModeGrayScale, 1, -1}, {kModeGray16, 2, 1},
                              {kModeRGB, 1, -1}, {kModeRGB, 2, 1}, {kModeRGB48, 5, 3}};
    // Hard and soft edges, rings (the last two weigh 0 at their centres at every size, so that an in-focus
    // pixel receives nothing from itself), a streak and polygons; seven, so that every depth map meets each.
    // The third and fourth images are smaller than the kernel.
    const FilterParameters apertures[] = {Aperture(1, 0, 0, 0, 0),    Aperture(6, 40, 50, 7, 1),
                                          Aperture(3, 40, -30, 21, 0), Aperture(2, 30, 20, 35, 0),
                                          Aperture(1, 50, -50, 0, 1),  Aperture(1, 80, 100, 0, 1),
                                          Aperture(3, 70, 100, 0, 0)};
    struct Geometry {
        int width;
        int height;
        int diameter;
    };
    const Geometry geometries[] = {{29, 19, 9}, {23, 61, 21}, {31, 17, 25}, {7, 5, 15}, {33, 11, 5}};
    // kBands is a selection used as a depth map: a third of the columns above the focus, a third exactly at
    // it (shielded from the first), a third below, and a transparent hole wider than the kernel across the
    // first border. Pixels deep in the hole receive no colour weight; under the last two apertures, in-focus
    // pixels out of reach of those below the focus receive nothing at all. Both keep their own values.
    enum Depth { kNone, kRandom, kThirdInFocus, kBands };
    std::uint32_t seed = 10;
    for (const Layout& layout : layouts) {
        for (const Geometry& g : geometries) {
            for (Depth depthMap : {kNone, kRandom, kThirdInFocus, kBands}) {
                ++seed;
                EngineRun host(layout.mode, static_cast<std::int16_t>(layout.planes));
                host.Settings() = apertures[seed % std::size(apertures)];
                host.Settings().depth = 1;
                host.Settings().focus = depthMap == kThirdInFocus ? 0 : 100;
                Image image = Random(g.width, g.height, layout.planes, seed, layout.alphaPlane);
                std::vector<float> depth = RandomDepth(g.width, g.height, seed);
                if (depthMap == kThirdInFocus)
                    for (std::size_t j = 0; j < depth.size(); j += 3) depth[j] = 0.0f;
                for (int y = 0; depthMap == kBands && y < g.height; ++y) {
                    for (int x = 0; x < g.width; ++x) {
                        const int third = 3 * x / g.width;
                        depth[image.Index(x, y)] = static_cast<float>((third == 0 ? 255 : third == 1 ? 100 : 0) / 255.0);
                        if (layout.alphaPlane >= 0 && std::abs(x - g.width / 3) <= g.diameter / 2 + 1)
                            image.At(layout.alphaPlane, x, y) = 0.0f;
                    }
                }
                const float* depthData = depthMap == kNone ? nullptr : depth.data();
                const Planes expected = NaiveDirect(host.Settings(), layout.mode, image, g.diameter, depthData);
                const std::string what = "seed " + std::to_string(seed) + (depthMap == kNone ? ", uniform" : ", depth map");
                for (fft::SimdPath path : PathsOfThisMachine()) {
                    Planes first;
                    for (std::int32_t threads : {1, 2, 3, 8}) {
                        Image run = image;
                        const std::vector<PlaneView> views = enginetest::Views(run.planes, run.width, run.height);
                        RenderJob job = host.Job(g.diameter, g.width, g.height);
                        job.threads = threads;
                        ASSERT_EQ(DirectConvolveWith(path, job, views, depthData, host.checkPoints), kNoError);
                        if (threads == 1) {
                            ExpectWithinBound(run.planes, expected, what);
                            first = run.planes;
                        } else {
                            ASSERT_EQ(run.planes, first) << what << ", " << threads << " threads";
                        }
                    }
                }
            }
        }
    }
}

TEST(DirectConvolve, ApertureLargerThanTwiceTheImageIsStillDrawnWhole) {
    // A hexagon of diameter 201 over a 7 x 5 image, with and without a depth map: exactly as the naive sum
    // over the whole 201 x 201 kernel.
    for (bool withDepth : {false, true}) {
        EngineRun host(kModeRGB, 4);
        host.Settings() = Aperture(6, 30, 40, 10, 0);
        host.Settings().depth = 1;
        host.Settings().focus = 0;
        Image image = Random(7, 5, 4, 21, 3);
        const std::vector<float> depth = RandomDepth(7, 5, 21);
        const Planes expected = NaiveDirect(host.Settings(), kModeRGB, image, 201, withDepth ? depth.data() : nullptr);
        Convolve(host, 201, image, withDepth ? depth.data() : nullptr);
        ASSERT_EQ(host.result, kNoError);
        ExpectNear(image.planes, expected, 2e-5f, withDepth ? "depth path" : "uniform path");
    }
}

TEST(DirectConvolve, HugeScriptedApertureIsCutToWhatCanReachTheImage) {
    // Diameter 65535 (amount 32767) over a 9 x 6 image: the central part of a disc that large is uniform,
    // so every pixel becomes the mean of the whole image; the kernel memory follows the image, not D * D.
    for (bool withDepth : {false, true}) {
        EngineRun host(kModeGrayScale, 1);
        host.Settings() = Aperture(1, 0, 0, 0, 0);
        host.Settings().depth = 1;
        host.Settings().focus = 0;
        Image image = Random(9, 6, 1, 22);
        double mean = 0;
        for (float v : image.planes[0]) mean += v / 54.0;
        const std::vector<float> farAway(54, 1.0f);
        Convolve(host, 65535, image, withDepth ? farAway.data() : nullptr);
        ASSERT_EQ(host.result, kNoError);
        for (float v : image.planes[0]) EXPECT_NEAR(v, mean, 1e-5);
    }
}

TEST(DirectConvolve, OneChannelOfAnRgbImageBlursLikeAGrayImage) {
    EngineRun rgb(kModeRGB, 1);
    EngineRun gray(kModeGrayScale, 1);
    rgb.Settings() = gray.Settings() = Aperture(5, 20, 10, 0, 0);
    Image a = Random(15, 11, 1, 4);
    Image b = a;
    Convolve(rgb, 7, a);
    Convolve(gray, 7, b);
    EXPECT_EQ(rgb.result, kNoError);
    EXPECT_EQ(a.planes, b.planes);
    EXPECT_NE(a.planes, Random(15, 11, 1, 4).planes);
}

TEST(DirectConvolve, RefusedModeAndModesWithoutChannelsLeaveThePlanes) {
    EngineRun indexed(2, 1);
    Image image = Random(8, 8, 1, 5);
    const Planes before = image.planes;
    const std::int64_t made = AllocationsMade();
    Convolve(indexed, 5, image);
    EXPECT_EQ(indexed.result, kBadMode);
    EXPECT_EQ(AllocationsMade(), made);

    EngineRun cmyk(kModeCMYK, 4);
    Image four = Random(8, 8, 4, 6);
    const Planes fourBefore = four.planes;
    Convolve(cmyk, 5, four);
    EXPECT_EQ(cmyk.result, kNoError);
    EXPECT_EQ(four.planes, fourBefore);
    EXPECT_EQ(image.planes, before);
}

TEST(DirectConvolve, InFocusPixelsAreShieldedFromPixelsAboveTheFocus) {
    // Left half far behind (depth 1, focus 0: code -D) and bright; right half dark and either exactly at
    // the focus (code +1, shielded) or just above it (code -1, not shielded).
    for (bool atFocus : {true, false}) {
        EngineRun host(kModeGrayScale, 1);
        host.Settings() = Aperture(1, 0, 0, 0, 0);
        host.Settings().depth = 1;
        host.Settings().focus = 0;
        Image image = Constant(20, 6, {0.2f});
        std::vector<float> depth(20 * 6, atFocus ? 0.0f : 1e-6f);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 10; ++x) {
                image.At(0, x, y) = 1.0f;
                depth[image.Index(x, y)] = 1.0f;
            }
        }
        Convolve(host, 9, image, depth.data());
        ASSERT_EQ(host.result, kNoError);
        for (int y = 0; y < 6; ++y) {
            EXPECT_NEAR(image.At(0, 9, y), 1.0f, 1e-6f);
            if (atFocus) {
                for (int x = 10; x < 20; ++x) EXPECT_NEAR(image.At(0, x, y), 0.2f, 1e-6f) << x << "," << y;
            } else {
                EXPECT_GT(image.At(0, 10, y), 0.25f);
                EXPECT_NEAR(image.At(0, 19, y), 0.2f, 1e-6f);
            }
        }
    }
}

TEST(DepthSizeCode, SizeGrowsWithTheDistanceFromTheFocus) {
    EXPECT_EQ(DepthSizeCode(1.0f, 255, 11), 1);     // 255 / 255 is exactly 1.0 as a double
    EXPECT_EQ(DepthSizeCode(1.0f, 0, 11), -11);     // 1 * 11 + 0.5 truncates to 11
    EXPECT_EQ(DepthSizeCode(0.0f, 0, 11), 1);       // at the focus: in focus, not above it
    EXPECT_EQ(DepthSizeCode(1e-7f, 0, 11), -1);     // just above: the smallest aperture, but negative
    EXPECT_EQ(DepthSizeCode(0.0f, 255, 11), 11);    // below the focus: positive
    EXPECT_EQ(DepthSizeCode(0.5f, 0, 11), -7);      // 5.5 + 0.5 = 6, made odd
    EXPECT_EQ(DepthSizeCode(0.3f, 0, 11), -3);      // 3.3 + 0.5 truncates to 3
    // A focus outside 0..255 (from scripting) never asks for more than the diameter.
    EXPECT_EQ(DepthSizeCode(0.0f, 1000, 11), 11);
    EXPECT_EQ(DepthSizeCode(1.0f, -700, 21), -21);
    for (int level = 0; level <= 255; ++level) {
        const int code = DepthSizeCode(static_cast<float>(level / 255.0), 77, 51);
        ASSERT_EQ(std::abs(code) % 2, 1);
        ASSERT_LE(std::abs(code), 51);
    }
}

TEST(PixelLayout, CodesFollowTheModeAndPlaneCount) {
    EXPECT_EQ(PixelLayout(kModeRGB, 3), 1);
    EXPECT_EQ(PixelLayout(kModeRGB, 4), 2);
    EXPECT_EQ(PixelLayout(kModeGrayScale, 1), 3);
    EXPECT_EQ(PixelLayout(kModeGrayScale, 2), 4);
    EXPECT_EQ(PixelLayout(kModeCMYK, 4), 5);
    EXPECT_EQ(PixelLayout(kModeCMYK, 5), 6);
    EXPECT_EQ(PixelLayout(kModeLab, 3), 7);
    EXPECT_EQ(PixelLayout(kModeLab, 4), 8);
    EXPECT_EQ(PixelLayout(kModeRGB48, 3), 9);
    EXPECT_EQ(PixelLayout(kModeRGB48, 1), 10);
    EXPECT_EQ(PixelLayout(kModeGray16, 1), 11);
    EXPECT_EQ(PixelLayout(kModeGray16, 3), 12);
    EXPECT_EQ(PixelLayout(kModeCMYK64, 4), 13);
    EXPECT_EQ(PixelLayout(kModeLab48, 2), 16);
    EXPECT_EQ(PixelLayout(2, 1), 0);
    EXPECT_EQ(PixelLayout(7, 3), 0);
}

TEST(PixelLayout, PlaneCountsOutsideTheTableAreLaidOutByCount) {
    auto same = [](ChannelAssignment a, int colours, bool alpha) {
        return a.colourChannels == colours && a.hasAlpha == alpha;
    };
    EXPECT_TRUE(same(AssignChannels(2, 1), 1, false));  // one channel of an RGB image
    EXPECT_TRUE(same(AssignChannels(2, 2), 1, true));
    EXPECT_TRUE(same(AssignChannels(10, 4), 3, true));
    EXPECT_TRUE(same(AssignChannels(2, 6), 3, true));   // planes beyond the fourth are not spread
    EXPECT_TRUE(same(AssignChannels(4, 3), 1, true));   // the table's own gray + transparency
    EXPECT_TRUE(same(AssignChannels(2, 0), 0, false));
    EXPECT_TRUE(same(AssignChannels(5, 4), 0, false));  // CMYK has no channel assignment
}

TEST(DirectConvolve, ProgressRisesToBelowHeightPlusFortyWithAPollAtEveryReport) {
    for (bool withDepth : {false, true}) {
        EngineRun host(kModeRGB, 3);
        host.Settings().depth = 1;
        Image image = Random(100, 48, 3, 7);
        const std::vector<float> depth = RandomDepth(100, 48, 7);
        Convolve(host, 5, image, withDepth ? depth.data() : nullptr);
        ASSERT_EQ(host.result, kNoError);
        const std::vector<std::int32_t>& done = host.log.progressDone;
        ASSERT_GE(done.size(), 16u);  // a band at least every three rows, one check point per band
        EXPECT_EQ(host.log.abortCalls, static_cast<std::int32_t>(done.size()));
        EXPECT_EQ(done.front(), 0);
        EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
        EXPECT_LT(done.back(), 88);
        EXPECT_GT(done.back(), 75);
        for (std::int32_t total : host.log.progressTotal) EXPECT_EQ(total, 88);
    }
}

TEST(DirectConvolve, PreviewInterruptionStopsBeforeTakingMemory) {
    EngineRun host(kModeRGB, 3);
    host.StartPreview();
    host.log.previewStopAtCheck = 1;
    Image image = Random(10, 10, 3, 9);
    const Planes before = image.planes;
    const std::int64_t made = AllocationsMade();
    Convolve(host, 5, image);
    EXPECT_EQ(host.result, kUserCanceled);
    EXPECT_EQ(AllocationsMade(), made);
    EXPECT_EQ(host.log.abortCalls, 0);
    EXPECT_EQ(image.planes, before);
}

}  // namespace
}  // namespace aperlume
