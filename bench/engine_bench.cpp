// Benchmarks of the direct convolution method. BM_DirectConvolve: a 1024 x 768 RGB image, kernel diameters
// 11, 51 and 101, hard and anti-aliased hexagons, without and with a depth map, on one thread.
// BM_DirectConvolve12MP: the size the peer comparison uses (4000 x 3000 RGB), a disc of diameter 21, 101
// or 201 as hard, soft, ring (edge 50, ratio -50) or with a depth map (a horizontal ramp, focus 128), on
// one or two threads; its CPU time is the calling thread's only, so read real time for two threads.
// BM_DirectCheckPoints: how much work lies between two check points on one thread (12 MP, D = 201), with
// the best loops and with the baseline ones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "bench_support.h"
#include "engine/direct_convolution.h"
#include "engine/methods.h"

namespace aperlume::bench {
namespace {

// Renders fresh copies of `original` in every iteration.
void TimeRenders(benchmark::State& state, const RenderJob& job, const std::vector<std::vector<float>>& original,
                 const float* depth) {
    std::vector<std::vector<float>> planes = original;
    const std::vector<PlaneView> views = Views(planes, job.width, job.height);
    NeverStop checkPoints;
    Result result = kOk;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t p = 0; p < planes.size(); ++p) planes[p] = original[p];  // same storage: views stay valid
        state.ResumeTiming();
        result = DirectConvolve(job, views, depth, checkPoints);
        benchmark::DoNotOptimize(planes[0][0]);
    }
    if (!result.ok()) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * job.width * job.height);
}

// Arguments: diameter, soft (0/1), depth map (0/1).
void BM_DirectConvolve(benchmark::State& state) {
    const auto diameter = static_cast<std::int32_t>(state.range(0));
    RenderJob job = RgbJob(kImageWidth, kImageHeight, diameter);
    job.settings.soft = static_cast<std::int16_t>(state.range(1));
    const bool withDepth = state.range(2) != 0;
    job.settings.depth = withDepth ? 1 : 0;
    job.settings.focus = 0;
    const std::vector<float> depth = TestDepthMap();
    TimeRenders(state, job, TestPlanes(3), withDepth ? depth.data() : nullptr);
}

BENCHMARK(BM_DirectConvolve)
    ->ArgNames({"D", "soft", "depth"})
    ->ArgsProduct({{11, 51, 101}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

constexpr std::int32_t kLargeWidth = 4000;
constexpr std::int32_t kLargeHeight = 3000;

// The comparison's scene in spirit: smooth gradients with sparse bright points.
std::vector<std::vector<float>> LargePlanes() {
    std::vector<std::vector<float>> planes(3, std::vector<float>(static_cast<std::size_t>(kLargeWidth) * kLargeHeight));
    std::uint32_t state = 12345;
    for (std::int32_t y = 0; y < kLargeHeight; ++y) {
        for (std::int32_t x = 0; x < kLargeWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool bright = (state >> 8) % 4000 == 0;
            const float gx = static_cast<float>(x) / kLargeWidth;
            const float gy = static_cast<float>(y) / kLargeHeight;
            const std::size_t j = static_cast<std::size_t>(y) * kLargeWidth + x;
            planes[0][j] = bright ? 1.0f : 0.15f + 0.45f * gx;
            planes[1][j] = bright ? 1.0f : 0.12f + 0.43f * gy;
            planes[2][j] = bright ? 1.0f : 0.27f + 0.2f * (gx + gy);
        }
    }
    return planes;
}

// The selection of the comparison's depth case: a horizontal ramp of levels 0..255.
std::vector<float> LargeRamp() {
    std::vector<float> depth(static_cast<std::size_t>(kLargeWidth) * kLargeHeight);
    for (std::int32_t y = 0; y < kLargeHeight; ++y)
        for (std::int32_t x = 0; x < kLargeWidth; ++x)
            depth[static_cast<std::size_t>(y) * kLargeWidth + x] =
                static_cast<float>(static_cast<int>(255.0 * x / (kLargeWidth - 1) + 0.5) / 255.0);
    return depth;
}

enum Aperture : std::int64_t { kHard, kSoft, kRing, kDepth };

RenderJob LargeJob(std::int32_t diameter, std::int64_t aperture, std::int32_t threads) {
    RenderJob job = RgbJob(kLargeWidth, kLargeHeight, diameter);
    job.settings.vertices = 1;
    job.settings.soft = aperture == kSoft ? 1 : 0;
    if (aperture == kRing) {
        job.settings.edge = 50;
        job.settings.ratio = -50;
    }
    job.settings.depth = aperture == kDepth ? 1 : 0;
    job.settings.focus = 128;
    job.threads = threads;
    return job;
}

// Arguments: diameter, aperture (0 hard, 1 soft, 2 ring, 3 depth map), threads.
void BM_DirectConvolve12MP(benchmark::State& state) {
    const RenderJob job = LargeJob(static_cast<std::int32_t>(state.range(0)), state.range(1),
                                   static_cast<std::int32_t>(state.range(2)));
    static const std::vector<std::vector<float>> original = LargePlanes();
    static const std::vector<float> ramp = LargeRamp();
    TimeRenders(state, job, original, state.range(1) == kDepth ? ramp.data() : nullptr);
}

BENCHMARK(BM_DirectConvolve12MP)
    ->ArgNames({"D", "aperture", "threads"})
    ->ArgsProduct({{21, 101, 201}, {kHard}, {1, 2}})
    ->ArgsProduct({{101}, {kSoft, kRing, kDepth}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// Check points that count themselves and the longest stretch of work between two of them, in processor
// time of the process (the render runs on one thread), so that other load on the machine does not count.
class TimedCheckPoints final : public CheckPoints {
public:
    bool PreviewInterrupted() override { return false; }
    bool HostAborted() override {
        const std::clock_t now = std::clock();
        if (count_ > 0) longest_ = std::max(longest_, Milliseconds(now - last_));
        last_ = now;
        ++count_;
        return false;
    }
    void Progress(std::int32_t, std::int32_t) override {}
    static double Milliseconds(std::clock_t ticks) { return 1000.0 * static_cast<double>(ticks) / CLOCKS_PER_SEC; }
    std::int64_t count_ = 0;
    double longest_ = 0.0;

private:
    std::clock_t last_ = 0;
};

// Arguments: aperture (0 hard, 3 depth map), loops (0 the best this processor has, 1 the baseline).
// Counters: check points, and the mean and longest work between two (processor ms on one thread).
void BM_DirectCheckPoints(benchmark::State& state) {
    const fft::SimdPath path = state.range(1) == 0 ? fft::SimdPath::kBest : fft::SimdPath::kBaseline;
    const RenderJob job = LargeJob(201, state.range(0), 1);
    static const std::vector<std::vector<float>> original = LargePlanes();
    static const std::vector<float> ramp = LargeRamp();
    std::vector<std::vector<float>> planes = original;
    const std::vector<PlaneView> views = Views(planes, kLargeWidth, kLargeHeight);
    TimedCheckPoints checkPoints;
    Result result = kOk;
    const std::clock_t start = std::clock();
    for (auto _ : state)
        result = DirectConvolveWith(path, job, views, state.range(0) == kDepth ? ramp.data() : nullptr, checkPoints);
    const double total = TimedCheckPoints::Milliseconds(std::clock() - start);
    if (!result.ok()) state.SkipWithError("the render failed");
    state.counters["checks"] = static_cast<double>(checkPoints.count_);
    state.counters["mean_ms"] = total / static_cast<double>(std::max<std::int64_t>(1, checkPoints.count_));
    state.counters["longest_ms"] = checkPoints.longest_;
}

BENCHMARK(BM_DirectCheckPoints)
    ->ArgNames({"aperture", "baseline"})
    ->ArgsProduct({{kHard, kDepth}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace aperlume::bench
