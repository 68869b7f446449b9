// Benchmarks of the direct convolution method on a 1024 x 768 RGB image: kernel diameters 11, 51 and 101,
// hard and anti-aliased apertures, without and with a depth map.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_support.h"
#include "engine/methods.h"

namespace aperlume::bench {
namespace {

// Arguments: diameter, soft (0/1), depth map (0/1).
void BM_DirectConvolve(benchmark::State& state) {
    const auto diameter = static_cast<std::int32_t>(state.range(0));
    RenderJob job = RgbJob(kImageWidth, kImageHeight, diameter);
    job.settings.soft = static_cast<std::int16_t>(state.range(1));
    const bool withDepth = state.range(2) != 0;
    job.settings.depth = withDepth ? 1 : 0;
    job.settings.focus = 0;
    const std::vector<std::vector<float>> original = TestPlanes(3);
    const std::vector<float> depth = TestDepthMap();
    std::vector<std::vector<float>> planes = original;
    const std::vector<PlaneView> views = Views(planes, kImageWidth, kImageHeight);
    NeverStop checkPoints;
    Result result = kOk;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t p = 0; p < planes.size(); ++p) planes[p] = original[p];  // same storage: views stay valid
        state.ResumeTiming();
        result = DirectConvolve(job, views, withDepth ? depth.data() : nullptr, checkPoints);
        benchmark::DoNotOptimize(planes[0][0]);
    }
    if (!result.ok()) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * kImageWidth * kImageHeight);
}

BENCHMARK(BM_DirectConvolve)
    ->ArgNames({"D", "soft", "depth"})
    ->ArgsProduct({{11, 51, 101}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace aperlume::bench
