// Benchmarks of a render's own costs around the spreading, at 4000 x 3000 RGB: the host exchange
// (samples to float planes and back) and the highlight correction with its inverse (a render with no
// method), on one and two threads (CPU time summed over the threads); and the Monte Carlo method with
// transparency at 1024 x 768 (without it: BM_MonteCarloConvolve).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_support.h"
#include "engine/methods.h"
#include "host/pixel_conversion.h"

namespace aperlume::bench {
namespace {

constexpr std::int32_t kFullWidth = 4000;
constexpr std::int32_t kFullHeight = 3000;

// Interleaved host samples of a full-size RGB image with a few highlights, 8 or 16 bits per sample.
std::vector<std::uint8_t> HostSamples(int bytesPerSample) {
    const std::size_t samples = std::size_t{kFullWidth} * kFullHeight * 3;
    std::vector<std::uint8_t> bytes(samples * static_cast<std::size_t>(bytesPerSample));
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < samples; ++i) {
        state = state * 1664525u + 1013904223u;
        const std::uint32_t level = (state >> 24) < 1 ? 255u : (state >> 26);  // dim, with rare white
        if (bytesPerSample == 2) {
            const auto v = static_cast<std::uint16_t>(level * 32768u / 255u);
            std::memcpy(&bytes[2 * i], &v, 2);
        } else {
            bytes[i] = static_cast<std::uint8_t>(level);
        }
    }
    return bytes;
}

// A full-size RGB image as the host delivers it (interleaved, 8 or 16 bits a sample, with an output
// buffer beside it) and float planes of its size.
struct FullSizeImage {
    explicit FullSizeImage(int bytes) : bytesPerSample(bytes), in(HostSamples(bytes)), out(in.size()) {
        record.imageMode = bytes == 2 ? kModeRGB48 : kModeRGB;
        record.planes = 3;
        record.imageSize = Point16{area.bottom, area.right};
        record.filterRect = area;
        record.inData = in.data();
        record.outData = out.data();
        record.inColumnBytes = record.outColumnBytes = 3 * bytes;
        record.inRowBytes = record.outRowBytes = kFullWidth * 3 * bytes;
    }
    void Read(std::int32_t threads) { ReadPlanes(record, area, bytesPerSample, views, nullptr, threads); }

    int bytesPerSample;
    std::vector<std::uint8_t> in;
    std::vector<std::uint8_t> out;
    FilterRecord record{};
    const Rect area{0, 0, static_cast<std::int16_t>(kFullHeight), static_cast<std::int16_t>(kFullWidth)};
    std::vector<std::vector<float>> planes{3, std::vector<float>(std::size_t{kFullWidth} * kFullHeight)};
    const std::vector<PlaneView> views = Views(planes, kFullWidth, kFullHeight);
};

// Arguments: bytes per sample, threads. One read and one write of the whole image.
void BM_HostExchange(benchmark::State& state) {
    FullSizeImage image(static_cast<int>(state.range(0)));
    const auto threads = static_cast<std::int32_t>(state.range(1));
    for (auto _ : state) {
        image.Read(threads);
        WritePlanes(image.record, image.area, image.bytesPerSample, image.views, nullptr, false, threads);
        benchmark::DoNotOptimize(image.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kFullWidth * kFullHeight);
}

// Arguments: correction (0 gamma, 1 log), bytes per sample the values came from, threads. A render that
// spreads nothing: the forward correction, its inverse and the finiteness pass over full-size planes.
void BM_HighlightCorrection(benchmark::State& state) {
    FullSizeImage image(static_cast<int>(state.range(1)));
    RenderJob job = RgbJob(kFullWidth, kFullHeight, 1);
    job.layout = MakePlaneLayout(image.record.imageMode, 3);
    job.settings.method = -1;
    job.settings.correction = static_cast<std::int16_t>(state.range(0));
    job.settings.brightness = 30;
    job.threads = static_cast<std::int32_t>(state.range(2));
    NeverStop checkPoints;
    Result result = kOk;
    for (auto _ : state) {
        state.PauseTiming();
        image.Read(1);
        state.ResumeTiming();
        result = Render(job, image.views, nullptr, checkPoints);
        benchmark::DoNotOptimize(image.planes[0][0]);
    }
    if (!result.ok()) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * kFullWidth * kFullHeight);
}

// Arguments: diameter. The method alone, as the render calls it, on RGB with transparency.
void BM_MonteCarloWithAlpha(benchmark::State& state) {
    const auto diameter = static_cast<std::int32_t>(state.range(0));
    const int planeCount = 4;
    RenderJob job = RgbJob(kImageWidth, kImageHeight, diameter);
    job.layout = MakePlaneLayout(kModeRGB, static_cast<std::int16_t>(planeCount));
    const std::vector<std::vector<float>> original = TestPlanes(planeCount);
    std::vector<std::vector<float>> planes = original;
    const std::vector<PlaneView> views = Views(planes, kImageWidth, kImageHeight);
    NeverStop checkPoints;
    Result result = kOk;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t p = 0; p < planes.size(); ++p) planes[p] = original[p];
        state.ResumeTiming();
        result = MonteCarloConvolve(job, views, nullptr, checkPoints);
        benchmark::DoNotOptimize(planes[0][0]);
    }
    if (!result.ok()) state.SkipWithError("the render failed");
    state.SetItemsProcessed(state.iterations() * kImageWidth * kImageHeight);
}

BENCHMARK(BM_HostExchange)
    ->ArgNames({"bytes", "threads"})
    ->ArgsProduct({{1, 2}, {1, 2}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HighlightCorrection)
    ->ArgNames({"log", "bytes", "threads"})
    ->ArgsProduct({{0, 1}, {1, 2}, {1, 2}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonteCarloWithAlpha)->ArgNames({"D"})->Arg(11)->Arg(101)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace aperlume::bench
