// compare_images GOLDEN RENDER TOLERANCE: reads two image files with the tool's own reader and reports
// the largest difference between their samples, in the files' units (in 8 bits when one file has 8 and
// the other 16, the 16-bit values rounded to 8), and how many samples differ. Exits
// 0 when the images have the same geometry and no sample differs by more than TOLERANCE, 1 when they
// differ more, 2 when a file cannot be read or the arguments are wrong.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/imagefile/image_file.h"

namespace {

using aperlume::tool::ToolImage;

bool Load(const char* path, ToolImage& image) {
    const aperlume::tool::ToolStatus status =
        aperlume::tool::ReadImage(path, image, nullptr, {0, aperlume::tool::SampleRange::File});
    if (!status.ok()) std::fprintf(stderr, "compare_images: %s\n", status.message.c_str());
    return status.ok();
}

int SampleAt(const ToolImage& image, std::size_t index, bool inEightBits) {
    if (image.BytesPerSample() == 1) return image.samples[index];
    const int value = image.samples[2 * index] | image.samples[2 * index + 1] << 8;
    return inEightBits ? (value * 255 + 32767) / 65535 : value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: compare_images GOLDEN RENDER TOLERANCE\n");
        return 2;
    }
    const int tolerance = std::atoi(argv[3]);
    ToolImage golden;
    ToolImage render;
    if (!Load(argv[1], golden) || !Load(argv[2], render)) return 2;
    if (golden.width != render.width || golden.height != render.height || golden.channels != render.channels) {
        std::printf("geometry differs: %dx%d x%d %d-bit against %dx%d x%d %d-bit\n", golden.width, golden.height,
                    golden.channels, golden.BytesPerSample() * 8, render.width, render.height, render.channels,
                    render.BytesPerSample() * 8);
        return 1;
    }
    const bool inEightBits = golden.BytesPerSample() != render.BytesPerSample();
    int largest = 0;
    std::size_t differing = 0;
    std::size_t firstAt = 0;
    const std::size_t count = golden.samples.size() / static_cast<std::size_t>(golden.BytesPerSample());
    for (std::size_t i = 0; i < count; ++i) {
        const int difference = std::abs(SampleAt(golden, i, inEightBits) - SampleAt(render, i, inEightBits));
        if (difference == 0) continue;
        if (differing++ == 0) firstAt = i;
        if (difference > largest) largest = difference;
    }
    const std::size_t rowSamples = static_cast<std::size_t>(golden.width) * static_cast<std::size_t>(golden.channels);
    std::string report = "largest difference " + std::to_string(largest) + ", " + std::to_string(differing) +
                         " of " + std::to_string(count) + " samples differ";
    if (differing != 0)
        report += ", the first at x " + std::to_string(firstAt % rowSamples / static_cast<std::size_t>(golden.channels)) +
                  " y " + std::to_string(firstAt / rowSamples);
    std::printf("%s (tolerance %d)\n", report.c_str(), tolerance);
    return largest <= tolerance ? 0 : 1;
}
