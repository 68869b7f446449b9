// Benchmarks of the transforms alone (the old power-of-two complex grid transform, and forward plus
// inverse real tile transforms of fft/fft.h on each processor path at the tile sizes of tiled
// convolution), and of the FFT and Monte Carlo methods on RGB images of 1024 x 768 and 4000 x 3000 at
// kernel diameters 21, 101 and 201 (the large image runs once per case).
//
// Peak memory of one case: run it alone under /usr/bin/time -v, for example
//   /usr/bin/time -v aperlume_bench --benchmark_filter='BM_FftConvolve/W:4000/H:3000/D:101/soft:0'
// and subtract the run of BM_ImagePlanes at the same size (the planes and their copy).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_support.h"
#include "engine/fft_convolution.h"
#include "engine/methods.h"
#include "fft/cdft2d.h"
#include "fft/fft.h"

namespace aperlume::bench {
namespace {

using Planes = std::vector<std::vector<float>>;

// Three planes of dim noise with scattered bright points.
Planes RgbPlanes(std::int32_t width, std::int32_t height) {
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    Planes planes(3, std::vector<float>(pixels));
    for (auto& plane : planes)
        for (float& v : plane) v = value(generator) < 0.001f ? 1.0f : 0.25f * value(generator);
    return planes;
}

// One transform (half of a round trip) per iteration. Arguments: rows, columns (complex values per row).
void BM_Cdft2d(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const auto columns = static_cast<std::int32_t>(state.range(1));
    ComplexGrid grid = ComplexGrid::Allocate(rows, columns);
    std::vector<std::int32_t> work(static_cast<std::size_t>(TransformWorkSize(rows, columns)), 0);
    std::vector<double> twiddles(static_cast<std::size_t>(TwiddleTableSize(rows, columns)));
    std::vector<double> scratch(static_cast<std::size_t>(TransformScratchSize(rows, columns)));
    std::mt19937 generator(3);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (std::int32_t y = 0; y < rows; ++y)
        for (std::int32_t x = 0; x < 2 * columns; ++x) grid.Row(y)[x] = value(generator);
    std::int32_t sign = 1;
    for (auto _ : state) {
        if (cdft2d(rows, 2 * columns, sign, grid.Rows(), scratch.data(), work.data(), twiddles.data()) != 0) {
            state.SkipWithError("the transform failed");
            break;
        }
        sign = -sign;  // alternate, so the values stay bounded across iterations
        benchmark::DoNotOptimize(grid.Row(0)[0]);
    }
    state.SetItemsProcessed(state.iterations() * rows * columns);
}

BENCHMARK(BM_Cdft2d)
    ->ArgNames({"R", "K"})
    ->Args({256, 256})
    ->Args({512, 512})
    ->Args({1024, 1024})
    ->Args({2048, 4096})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One forward and one inverse real transform of an R x C tile, in place in a padded buffer, as the
// tiled convolution runs them. Arguments: rows, columns, path (0 baseline, 1 AVX2).
void BM_RealFft2dPair(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const auto columns = static_cast<std::int32_t>(state.range(1));
    const auto path = state.range(2) == 1 ? fft::SimdPath::kAvx2 : fft::SimdPath::kBaseline;
    fft::RealPlan2d plan;
    if (!fft::SimdPathAvailable(path) || !fft::RealPlan2d::Create(rows, columns, plan, path).ok()) {
        state.SkipWithError("no plan for this shape or path");
        return;
    }
    const std::ptrdiff_t stride = 2 * plan.SpectrumColumns();
    std::vector<double> tile(static_cast<std::size_t>(rows) * static_cast<std::size_t>(stride));
    std::vector<double> scratch(plan.ScratchDoubles());
    std::mt19937 generator(3);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (double& v : tile) v = value(generator);
    const double scale = 1.0 / (static_cast<double>(rows) * columns);
    for (auto _ : state) {
        plan.Forward(tile.data(), stride, tile.data(), stride, scratch.data());
        plan.Inverse(tile.data(), stride, tile.data(), stride, scratch.data());
        state.PauseTiming();  // the round trip multiplies by R * C: scale back so values stay bounded
        for (double& v : tile) v *= scale;
        state.ResumeTiming();
        benchmark::DoNotOptimize(tile[0]);
    }
    state.SetItemsProcessed(state.iterations() * rows * columns);
}

void TileShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"R", "C", "avx2"});
    for (const std::int64_t side : {256, 320, 384, 480, 512, 640, 768, 1024})
        for (const std::int64_t path : {0, 1}) b->Args({side, side, path});
    for (const auto& shape : {std::pair<std::int64_t, std::int64_t>{384, 512}, {512, 768}, {600, 800}, {1024, 640}})
        for (const std::int64_t path : {0, 1}) b->Args({shape.first, shape.second, path});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_RealFft2dPair)->Apply(TileShapes);

// The FFT method on one plane of 3 x 3 whole square tiles of side S for a kernel of D, on one thread:
// the measurement behind the tile size rule (ChooseFftTileShape). Compare the time per output
// pixel (items per second) across S for one D. Arguments: S, D.
void BM_FftTiles(benchmark::State& state) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    const FftTileShape shape{side, side};
    const auto diameter = static_cast<std::int32_t>(state.range(1));
    const std::int32_t size = 3 * (side - diameter + 1);
    RenderJob job = RgbJob(size, size, diameter);
    job.layout = MakePlaneLayout(kModeGrayScale, 1);
    job.threads = 1;
    Planes planes = RgbPlanes(size, size);
    planes.resize(1);
    const std::vector<PlaneView> views = Views(planes, size, size);
    NeverStop checkPoints;
    Result result = kOk;
    for (auto _ : state) {
        result = FftConvolveInTiles(job, views, checkPoints, shape, fft::SimdPath::kBest);
        benchmark::DoNotOptimize(planes[0][0]);
    }
    if (!result.ok()) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * size * size);
}

void TileSides(benchmark::internal::Benchmark* b) {
    b->ArgNames({"S", "D"});
    for (const std::int64_t diameter : {21, 101, 201, 401}) {
        for (const std::int64_t side : {128, 192, 256, 320, 384, 432, 480, 512, 576, 640, 720, 768, 810, 864, 960, 1024, 1280, 1536, 2048}) {
            if (side >= 2 * diameter) b->Args({side, diameter});
        }
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_FftTiles)->Apply(TileSides);

// Arguments: width, height, diameter, and optionally soft (anti-aliased aperture, 0 or 1).
template <SpreadMethod kMethod>
void BM_Method(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    const auto diameter = static_cast<std::int32_t>(state.range(2));
    RenderJob job = RgbJob(width, height, diameter);
    job.settings.soft = static_cast<std::int16_t>(state.range(3));
    const Planes original = RgbPlanes(width, height);
    Planes planes = original;
    const std::vector<PlaneView> views = Views(planes, width, height);
    NeverStop checkPoints;
    Result result = kOk;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t p = 0; p < planes.size(); ++p) planes[p] = original[p];  // same storage: views stay valid
        state.ResumeTiming();
        result = kMethod(job, views, nullptr, checkPoints);
        benchmark::DoNotOptimize(planes[0][0]);
    }
    if (!result.ok()) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * width * height);
}

void BM_FftConvolve(benchmark::State& state) { BM_Method<&FftConvolve>(state); }
void BM_MonteCarloConvolve(benchmark::State& state) { BM_Method<&MonteCarloConvolve>(state); }

// The planes and their working copy alone: the baseline for peak memory measurements.
void BM_ImagePlanes(benchmark::State& state) {
    const Planes original = RgbPlanes(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        Planes planes = original;
        benchmark::DoNotOptimize(planes[0][0]);
    }
}

void SmallImage(benchmark::internal::Benchmark* b) {
    b->ArgNames({"W", "H", "D", "soft"})
        ->ArgsProduct({{1024}, {768}, {21, 101, 201}, {0}})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}
void LargeImage(benchmark::internal::Benchmark* b) {
    b->ArgNames({"W", "H", "D", "soft"})
        ->ArgsProduct({{4000}, {3000}, {21, 101, 201}, {0}})
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

BENCHMARK(BM_FftConvolve)->Apply(SmallImage);
BENCHMARK(BM_FftConvolve)->Apply(LargeImage);
// The anti-aliased aperture is drawn on a canvas nine times the padded raster: the memory peak.
BENCHMARK(BM_FftConvolve)
    ->ArgNames({"W", "H", "D", "soft"})
    ->Args({4000, 3000, 101, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MonteCarloConvolve)->Apply(SmallImage);
BENCHMARK(BM_MonteCarloConvolve)->Apply(LargeImage);
BENCHMARK(BM_ImagePlanes)->ArgNames({"W", "H"})->Args({4000, 3000})->Iterations(1);

}  // namespace
}  // namespace aperlume::bench
