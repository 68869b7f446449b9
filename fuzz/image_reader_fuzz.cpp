// The command-line tool's image reader (PNG, JPEG, TIFF with their metadata) on any bytes as a file: no
// fault, no undefined behaviour, no leak; an image it accepts has the geometry it promises, and EXIF it
// finds is carried into a TIFF file. The bytes read as a TIFF stream must keep the directory reader's
// memory bound (tiff_directory.h), counted through the sanitizer's allocation hooks. For PNG inputs the
// mutator mends the chunk checksums after each mutation, so that they get past them into the headers
// and image data.
#include <sanitizer/allocator_interface.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/tiff_directory.h"

namespace {

// Inputs may declare any size; the reader refuses a header larger than the data can hold before it sets
// memory aside, so a limit well above the corpus's images keeps each input fast without hiding a fault.
constexpr std::uint64_t kMaxPixels = 1u << 20;

// Bytes held through the allocator while `counting`, and their peak.
bool counting = false;
std::size_t held = 0, peak = 0;

void OnAllocate(const volatile void*, std::size_t size) {
    if (!counting) return;
    held += size;
    if (held > peak) peak = held;
}

void OnFree(const volatile void* p) {
    if (!counting || p == nullptr) return;
    const std::size_t size = __sanitizer_get_allocated_size(const_cast<const void*>(p));
    held = held > size ? held - size : 0;  // blocks made before counting are not subtracted below zero
}

// The first directory of `bytes` read as a TIFF stream, with every tag and the metadata directories:
// at most 8 bytes allocated for each byte of the stream plus 4 KiB, and 1 KiB for the reasons given.
void CheckDirectoryBound(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume::tool;
    MemoryByteSource source({data, size});
    tiff::Header header;
    if (!tiff::ReadHeader(source, header)) return;
    held = peak = 0;
    counting = true;
    {
        tiff::Directory directory;
        std::string why;
        (void)tiff::ReadDirectory(source, header.bigEndian, header.firstDirectory, {nullptr, true}, directory, why);
    }
    counting = false;
    aperlume::fuzz::Require(peak <= 8 * (size + 4096) + 1024, "a directory read within its bound");
}

bool IsPng(const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    return size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_install_malloc_and_free_hooks(OnAllocate, OnFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aperlume;
    CheckDirectoryBound(data, size);
    // The reader takes a path: the bytes go through a file of this process's own.
    static const std::string path = "/tmp/aperlume_image_fuzz_" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    fuzz::Require(file != nullptr, "a temporary file");
    if (size > 0) fuzz::Require(std::fwrite(data, 1, size, file) == size, "the bytes written");
    std::fclose(file);
    tool::ToolImage image;
    tool::ImageMetadata metadata;
    if (tool::ReadImage(path, image, &metadata, tool::ReadOptions{kMaxPixels}).ok()) {
        fuzz::Require(image.width >= 1 && image.height >= 1 && image.channels >= 1 && image.channels <= 4,
                      "an accepted image's geometry");
        fuzz::Require(image.samples.size() == static_cast<std::size_t>(image.height) * image.RowBytes(),
                      "an accepted image's samples");
        if (!metadata.exif.empty()) {
            // Carrying reads the EXIF block's directories again, as the TIFF writer rebuilds them (here into
            // a temporary file: WriteImage's own would be flushed to the disk for each input).
            tool::ToolImage pixel = tool::EmptyToolImage(1, 1, 1, 8);
            pixel.samples = {0};
            const tool::OpenedFile carried(std::tmpfile());
            fuzz::Require(carried != nullptr &&
                              tool::EncodeImage(carried.get(), tool::ImageFormat::Tiff, pixel, {}, {}, "carried").ok() &&
                              tool::AddTiffMetadata(carried.get(), metadata, "carried").ok(),
                          "metadata carried into a TIFF");
        }
    }
    std::remove(path.c_str());
    return 0;
}

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (!IsPng(data, size)) return size;
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
