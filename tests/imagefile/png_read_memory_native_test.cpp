// Reading a file takes memory for the data it actually holds, not for the size its header claims: the
// peak of the bytes held while reading is followed through a replacement of the global allocation
// functions (counting only while a test asks).
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/png_bytes.h"
#include "tools/imagefile/image_file.h"

// The replacements pair malloc with free themselves; the compiler sees only the free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> held{0};
std::atomic<std::size_t> peak{0};

void* Allocate(std::size_t size) noexcept {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr && counting.load(std::memory_order_relaxed)) {
        const std::size_t now = held.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
        if (now > peak.load(std::memory_order_relaxed)) peak.store(now, std::memory_order_relaxed);
    }
    return p;
}

void Release(void* p) noexcept {
    // Blocks made before counting started are not subtracted below zero.
    if (p != nullptr && counting.load(std::memory_order_relaxed)) {
        const std::size_t size = malloc_usable_size(p);
        std::size_t now = held.load(std::memory_order_relaxed);
        held.store(now > size ? now - size : 0, std::memory_order_relaxed);
    }
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace aperlume::tool {
namespace {

using namespace testing;  // NOLINT: the byte builders
using PngReadMemory = TemporaryFolderTest;

// The most bytes the C++ side held at once during one read (the image handed in is empty).
std::size_t PeakOfRead(const std::string& path, ToolImage& image, ToolStatus& status) {
    held = 0;
    peak = 0;
    counting = true;
    status = ReadImage(path, image, nullptr, {0});
    counting = false;
    return peak;
}

TEST_F(PngReadMemory, AHeaderThatPromisesMoreRowsThanTheDataHoldsCostsOnlyTheRowsRead) {
    // 10000 x 10000 gray with data for 10 rows, plain or interlaced: enough compressed bytes for the
    // claimed size to be possible at deflate's best ratio, so only the decoder can tell. The decoder
    // writes straight into the image, whose rows grow with those reached: the first Adam7 pass reaches
    // every eighth row with an eighth of its pixels, so an interlaced file's rows cost up to 64 times
    // their data.
    for (std::uint8_t interlace : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(interlace != 0 ? "interlaced" : "plain");
        std::vector<PngChunk> chunks = {{"IHDR", ImageHeader(10000, 10000, 8, 0, interlace)},
                                        {"IDAT", ImageData(10, 10000, 1)},
                                        {"IEND", {}}};
        WriteBytes(Path("liar.png"), PngFile(chunks));
        ToolImage image;
        ToolStatus status;
        const std::size_t bytes = PeakOfRead(Path("liar.png"), image, status);
        EXPECT_NE(status.message.find("is damaged"), std::string::npos) << status.message;
        EXPECT_LT(bytes, interlace != 0 ? 16000000u : 2000000u) << "the claimed image is 100 MB";
    }
    // An honest file of the same kind costs what its samples need, and not several times over.
    WriteBytes(Path("honest.png"), PngFile({{"IHDR", ImageHeader(1000, 1000, 8, 0)},
                                            {"IDAT", ImageData(1000, 1000, 1)},
                                            {"IEND", {}}}));
    ToolImage image;
    ToolStatus status;
    const std::size_t bytes = PeakOfRead(Path("honest.png"), image, status);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(image.samples, std::vector<std::uint8_t>(1000000, 1));
    EXPECT_LT(bytes, 1100000u) << "1 MB of pixels, decoded in place";
}

}  // namespace
}  // namespace aperlume::tool
