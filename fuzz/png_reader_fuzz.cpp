// The command-line tool's PNG reader on any bytes as a file: no fault, no undefined behaviour, no leak;
// an image it accepts has the geometry it promises. The mutator mends the chunk checksums after each
// mutation, so that the inputs get past them into the headers and image data.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/aperlume/png_io.h"

namespace {

// The reader sizes its buffers from the header before it reads a row, so a few bytes that declare a huge
// image take memory by the declared size (8.6 GB at 32767 x 32767, 16-bit RGBA). Such inputs are not
// read here: they would test the machine's memory, not the reader.
constexpr std::uint64_t kMaxDeclaredPixels = 1u << 20;

bool DeclaresHugeImage(const std::uint8_t* data, std::size_t size) {
    if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
    auto word = [&](std::size_t at) {
        return (std::uint64_t{data[at]} << 24) | (std::uint64_t{data[at + 1]} << 16) | (std::uint64_t{data[at + 2]} << 8) |
               data[at + 3];
    };
    return word(16) * word(20) > kMaxDeclaredPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume;
    if (DeclaresHugeImage(data, size)) return -1;  // not kept in the corpus either
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

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    // Chunks after the 8-byte signature: length (big-endian), type, data, CRC over type and data.
    std::size_t at = 8;
    while (at + 12 <= size) {
        const std::uint32_t length = (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) |
                                     (std::uint32_t{data[at + 2]} << 8) | data[at + 3];
        if (length > size - at - 12) break;
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, data + at + 4, length + 4));
        const std::size_t end = at + 8 + length;
        for (int i = 0; i < 4; ++i) data[end + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at = end + 4;
    }
    return size;
}
