// The command-line tool's PNG reader on any bytes as a file: no fault, no undefined behaviour, no leak;
// an image it accepts has the geometry it promises.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/aperlume/png_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume;
    // The reader takes a path: the bytes go through a file of this process's own.
    static const std::string path = "/tmp/aperlume_png_fuzz_" + std::to_string(getpid()) + ".png";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    fuzz::Require(file != nullptr, "a temporary file");
    if (size > 0) fuzz::Require(std::fwrite(data, 1, size, file) == size, "the bytes written");
    std::fclose(file);
    tool::RasterImage image;
    if (tool::ReadPng(path, image).ok()) {
        fuzz::Require(image.width >= 1 && image.height >= 1 && image.channels >= 1 && image.channels <= 4 &&
                          (image.bitDepth == 8 || image.bitDepth == 16),
                      "an accepted image's geometry");
        fuzz::Require(image.samples.size() == static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) *
                                                  static_cast<std::size_t>(image.channels),
                      "an accepted image's samples");
    }
    std::remove(path.c_str());
    return 0;
}
