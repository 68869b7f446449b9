// Reading a file takes memory for the data it actually holds, not for the size its header claims: the
// bytes allocated while reading are counted through a replacement of the global allocation functions
// (counting only while a test asks).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/tools/png_bytes.h"
#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/png_io.h"

// The replacements pair malloc with free themselves; the compiler sees only the free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocated{0};

void* Allocate(std::size_t size) noexcept {
    if (counting.load(std::memory_order_relaxed)) allocated.fetch_add(size, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
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
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace aperlume::tool {
namespace {

using namespace testing;  // NOLINT: the byte builders
using PngReadMemory = TemporaryFolderTest;

// Bytes allocated by the C++ side of one ReadPng call.
std::size_t AllocatedByRead(const std::string& path, RasterImage& image, ToolStatus& status) {
    allocated = 0;
    counting = true;
    status = ReadPng(path, image, 0);
    counting = false;
    return allocated;
}

TEST_F(PngReadMemory, AHeaderThatPromisesMoreRowsThanTheDataHoldsCostsOnlyTheRowsRead) {
    // 10000 x 10000 gray with data for 10 rows, plain or interlaced: enough compressed bytes for the
    // claimed size to be possible at deflate's best ratio, so only the decoder can tell.
    for (std::uint8_t interlace : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(interlace != 0 ? "interlaced" : "plain");
        std::vector<PngChunk> chunks = {{"IHDR", ImageHeader(10000, 10000, 8, 0, interlace)},
                                        {"IDAT", ImageData(10, 10000, 1)},
                                        {"IEND", {}}};
        WriteBytes(Path("liar.png"), PngFile(chunks));
        RasterImage image;
        ToolStatus status;
        const std::size_t bytes = AllocatedByRead(Path("liar.png"), image, status);
        EXPECT_NE(status.message.find("is damaged"), std::string::npos) << status.message;
        EXPECT_LT(bytes, 2000000u) << "the claimed image is 100 MB";
    }
    // An honest file of the same kind costs what its samples need, and not several times over.
    WriteBytes(Path("honest.png"), PngFile({{"IHDR", ImageHeader(1000, 1000, 8, 0)},
                                            {"IDAT", ImageData(1000, 1000, 1)},
                                            {"IEND", {}}}));
    RasterImage image;
    ToolStatus status;
    const std::size_t bytes = AllocatedByRead(Path("honest.png"), image, status);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(image.samples, std::vector<std::uint16_t>(1000000, 1));
    EXPECT_LT(bytes, 4000000u) << "1 MB of pixels, 2 MB of samples";
}

}  // namespace
}  // namespace aperlume::tool
