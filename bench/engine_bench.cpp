// Benchmarks of the direct convolution method on a 1024 x 768 RGB image: kernel diameters 11, 51 and 101,
// hard and anti-aliased apertures, without and with a depth map.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_host.h"
#include "engine/methods.h"
#include "host/host_records.h"
#include "tests/engine/engine_fixture.h"

namespace aperlume::bench {
namespace {

// Arguments: diameter, soft (0/1), depth map (0/1).
void BM_DirectConvolve(benchmark::State& state) {
    const auto diameter = static_cast<std::int32_t>(state.range(0));
    enginetest::EngineHost host(kModeRGB, 3);
    host.Settings().vertices = 6;
    host.Settings().soft = static_cast<std::int16_t>(state.range(1));
    const bool withDepth = state.range(2) != 0;
    host.Settings().depth = withDepth ? 1 : 0;
    host.Settings().focus = 0;
    const std::vector<std::vector<float>> original = TestPlanes(3);
    const std::vector<float> depth = TestDepthMap();
    std::vector<std::vector<float>> planes = original;
    float* table[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    for (auto _ : state) {
        state.PauseTiming();
        planes = original;
        for (int p = 0; p < 3; ++p) table[p] = planes[static_cast<std::size_t>(p)].data();
        state.ResumeTiming();
        DirectConvolve(host.context, diameter, kImageWidth, kImageHeight, true, table,
                       withDepth ? depth.data() : nullptr);
        benchmark::DoNotOptimize(table[0][0]);
    }
    if (host.result != 0) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * kImageWidth * kImageHeight);
}

BENCHMARK(BM_DirectConvolve)
    ->ArgNames({"D", "soft", "depth"})
    ->ArgsProduct({{11, 51, 101}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace aperlume::bench
