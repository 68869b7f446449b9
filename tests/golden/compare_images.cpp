// compare_images GOLDEN RENDER TOLERANCE: reads two PNG files with the tool's own reader and reports the
// largest difference between their samples, in the files' units, and how many samples differ. Exits 0
// when the images have the same geometry and no sample differs by more than TOLERANCE, 1 when they
// differ more, 2 when a file cannot be read or the arguments are wrong.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/aperlume/png_io.h"

namespace {

using aperlume::tool::RasterImage;

bool Load(const char* path, RasterImage& image) {
    const aperlume::tool::ToolStatus status = aperlume::tool::ReadPng(path, image);
    if (!status.ok()) std::fprintf(stderr, "compare_images: %s\n", status.message.c_str());
    return status.ok();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: compare_images GOLDEN.png RENDER.png TOLERANCE\n");
        return 2;
    }
    const int tolerance = std::atoi(argv[3]);
    RasterImage golden;
    RasterImage render;
    if (!Load(argv[1], golden) || !Load(argv[2], render)) return 2;
    if (golden.width != render.width || golden.height != render.height || golden.channels != render.channels ||
        golden.bitDepth != render.bitDepth) {
        std::printf("geometry differs: %dx%d x%d %d-bit against %dx%d x%d %d-bit\n", golden.width, golden.height,
                    golden.channels, golden.bitDepth, render.width, render.height, render.channels, render.bitDepth);
        return 1;
    }
    int largest = 0;
    std::size_t differing = 0;
    std::size_t firstAt = 0;
    for (std::size_t i = 0; i < golden.samples.size(); ++i) {
        const int difference = std::abs(static_cast<int>(golden.samples[i]) - static_cast<int>(render.samples[i]));
        if (difference == 0) continue;
        if (differing++ == 0) firstAt = i;
        if (difference > largest) largest = difference;
    }
    const std::size_t rowSamples = static_cast<std::size_t>(golden.width) * static_cast<std::size_t>(golden.channels);
    std::string report = "largest difference " + std::to_string(largest) + ", " + std::to_string(differing) +
                         " of " + std::to_string(golden.samples.size()) + " samples differ";
    if (differing != 0)
        report += ", the first at x " + std::to_string(firstAt % rowSamples / static_cast<std::size_t>(golden.channels)) +
                  " y " + std::to_string(firstAt / rowSamples);
    std::printf("%s (tolerance %d)\n", report.c_str(), tolerance);
    return largest <= tolerance ? 0 : 1;
}
