// Reading and writing 12-megapixel image files through the tool's own codecs, each format and depth:
// the time the tool spends on files around a render. The image is photograph-like (smooth shapes,
// texture and sensor noise), so the compressed sizes are those of photographs rather than of flat
// synthetic images; the file size is reported as a counter.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tools/imagefile/image_file.h"

namespace aperlume::bench {
namespace {

using tool::ToolImage;

constexpr std::int32_t kWidth = 4000;
constexpr std::int32_t kHeight = 3000;

std::uint32_t Hash(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    return x ^ (x >> 16);
}

const ToolImage& Photo(std::int32_t bitDepth) {
    static ToolImage images[2];
    ToolImage& image = images[bitDepth / 16];
    if (!image.samples.empty()) return image;
    image = tool::EmptyToolImage(kWidth, kHeight, 3, bitDepth);
    image.samples.resize(image.RowBytes() * kHeight);
    std::size_t i = 0;
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            for (std::int32_t c = 0; c < 3; ++c, ++i) {
                const double shape = 0.5 + 0.3 * (((x / 97 + y / 61 + c) % 5) / 4.0) * (x + y) / (kWidth + kHeight);
                const double texture = ((Hash(static_cast<std::uint32_t>((y / 4) * kWidth + x / 4) * 3u + c) & 255) - 128) / 2048.0;
                const double noise = ((Hash(static_cast<std::uint32_t>(i)) & 15) - 7.5) / 2048.0;
                const double value = std::min(1.0, std::max(0.0, shape + texture + noise));
                if (bitDepth == 8) {
                    image.samples[i] = static_cast<std::uint8_t>(value * 255.0 + 0.5);
                } else {
                    const auto v = static_cast<std::uint32_t>(value * 32768.0 + 0.5);
                    image.samples[2 * i] = static_cast<std::uint8_t>(v);
                    image.samples[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
                }
            }
    return image;
}

std::string FilePath(const char* extension, std::int32_t bitDepth) {
    return (std::filesystem::temp_directory_path() / ("aperlume-bench-" + std::to_string(bitDepth) + extension)).string();
}

void BM_WriteImage(benchmark::State& state, const char* extension, std::int32_t bitDepth) {
    const ToolImage& image = Photo(bitDepth);
    const std::string path = FilePath(extension, bitDepth);
    for (auto _ : state)
        if (!tool::WriteImage(path, image, {}, {}).ok()) state.SkipWithError("cannot write");
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

void BM_ReadImage(benchmark::State& state, const char* extension, std::int32_t bitDepth) {
    const std::string path = FilePath(extension, bitDepth);
    if (!tool::WriteImage(path, Photo(bitDepth), {}, {}).ok()) state.SkipWithError("cannot write");
    for (auto _ : state) {
        ToolImage image;
        if (!tool::ReadImage(path, image).ok()) state.SkipWithError("cannot read");
        benchmark::DoNotOptimize(image.samples.data());
    }
}

#define APERLUME_FILE_BENCH(name, extension, depth)                                                          \
    BENCHMARK_CAPTURE(BM_WriteImage, name, extension, depth)->Unit(benchmark::kMillisecond)->Iterations(3); \
    BENCHMARK_CAPTURE(BM_ReadImage, name, extension, depth)->Unit(benchmark::kMillisecond)->Iterations(3)
APERLUME_FILE_BENCH(png8, ".png", 8);
APERLUME_FILE_BENCH(png16, ".png", 16);
APERLUME_FILE_BENCH(jpeg8, ".jpg", 8);
APERLUME_FILE_BENCH(tiff8, ".tif", 8);
APERLUME_FILE_BENCH(tiff16, ".tif", 16);

}  // namespace
}  // namespace aperlume::bench
