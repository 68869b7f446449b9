// Reading a file takes memory for the data it actually holds, not for the size its header or its
// directories claim: the peak of the bytes held while reading is followed through a replacement of the
// global allocation functions (counting only while a test asks), and the C libraries' part through the
// peak memory of a child process that does the same.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/png_bytes.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/tiff_directory.h"

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
using ReadMemory = TemporaryFolderTest;

// The most bytes the C++ side held at once during `work`.
template <typename Work>
std::size_t PeakOf(Work work) {
    held = 0;
    peak = 0;
    counting = true;
    work();
    counting = false;
    return peak;
}

// The most bytes the C++ side held at once during one read (the image handed in is empty).
std::size_t PeakOfRead(const std::string& path, ToolImage& image, ToolStatus& status) {
    return PeakOf([&] { status = ReadImage(path, image, nullptr, {0}); });
}

// How much more memory than this process holds now a child doing `work` took at its peak, C libraries
// and all, in bytes; the child's failure fails the test.
template <typename Work>
long ChildGrowth(Work work) {
    long size = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    EXPECT_TRUE(statm != nullptr && std::fscanf(statm, "%ld %ld", &size, &resident) == 2);
    if (statm != nullptr) std::fclose(statm);
    const pid_t child = fork();
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    EXPECT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child failed";
    return usage.ru_maxrss * 1024 - resident * sysconf(_SC_PAGESIZE);
}

// Directory records written as they are (offsets and all), little-endian, for directories no writer makes.
struct Record {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

void AppendLittle(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes Table(const std::vector<Record>& records) {
    Bytes out;
    AppendLittle(out, static_cast<std::uint32_t>(records.size()), 2);
    for (const Record& r : records) {
        AppendLittle(out, r.tag, 2);
        AppendLittle(out, r.type, 2);
        AppendLittle(out, r.count, 4);
        AppendLittle(out, r.value, 4);
    }
    AppendLittle(out, 0, 4);
    return out;
}

std::size_t TableSize(std::size_t records) { return 6 + 12 * records; }

TEST_F(ReadMemory, AHeaderThatPromisesMoreRowsThanTheDataHoldsCostsOnlyTheRowsRead) {
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

// A first directory at `at` of `extra` records, the camera's make, and pointers both ways: to an EXIF
// directory of 100 values each as large as the whole `fileSize`, and 100 GPS pointers back to itself (with
// every directory read again each time it is pointed to, 10 000 reads of 100 directories each). The
// EXIF directory comes right after it.
Bytes HostileDirectories(std::uint32_t at, std::vector<Record> extra, std::uint32_t fileSize) {
    std::vector<Record> first = std::move(extra);
    first.push_back({tiff::kMake, tiff::kAscii, 4, 'C' | 'a' << 8 | 'm' << 16});
    const auto exifAt = static_cast<std::uint32_t>(at + TableSize(first.size() + 101));
    first.push_back({tiff::kExifIfd, tiff::kLong, 1, exifAt});
    for (int i = 0; i < 100; ++i) first.push_back({tiff::kGpsIfd, tiff::kLong, 1, at});
    std::vector<Record> exif;
    for (std::uint16_t tag = 1; tag <= 100; ++tag) exif.push_back({tag, tiff::kUndefined, fileSize, 0});
    Bytes out = Table(first);
    const Bytes table = Table(exif);
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

TEST_F(ReadMemory, MetadataDirectoriesCostAtMostAboutTheFileHoweverTheyPoint) {
    // The same hostile directories as an EXIF block in a JPEG and in a PNG, and as a TIFF's own first
    // directory, with 1000 more tags there whose values are the whole file (256 KiB), which neither the
    // check nor the decoder reads. Each is read and carried into a TIFF.
    const std::uint32_t blockSize = 8 + static_cast<std::uint32_t>(TableSize(102) + TableSize(100));
    Bytes block = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const Bytes directories = HostileDirectories(8, {}, blockSize);
    block.insert(block.end(), directories.begin(), directories.end());
    ImageMetadata metadata;
    metadata.exif = block;
    ToolImage image = EmptyToolImage(8, 8, 1, 8);
    image.samples.assign(64, 100);  // a JPEG keeps it exactly
    ASSERT_TRUE(WriteImage(Path("hostile.jpg"), image, metadata, {}).ok());
    ASSERT_TRUE(WriteImage(Path("hostile.png"), image, metadata, {}).ok());
    const std::uint32_t tiffSize = 256 * 1024, at = 8 + 64;
    std::vector<Record> tiffRecords = {
        {tiff::kImageWidth, tiff::kShort, 1, 8},      {tiff::kImageLength, tiff::kShort, 1, 8},
        {tiff::kBitsPerSample, tiff::kShort, 1, 8},   {tiff::kCompression, tiff::kShort, 1, 1},
        {tiff::kPhotometric, tiff::kShort, 1, 1},     {tiff::kStripOffsets, tiff::kLong, 1, 8},
        {tiff::kSamplesPerPixel, tiff::kShort, 1, 1}, {tiff::kRowsPerStrip, tiff::kShort, 1, 8},
        {tiff::kStripByteCounts, tiff::kLong, 1, 64}};
    for (std::uint16_t tag = 40000; tag < 41000; ++tag) tiffRecords.push_back({tag, tiff::kByte, tiffSize, 0});
    Bytes tiffFile = {'I', 'I', 42, 0, at, 0, 0, 0};
    tiffFile.insert(tiffFile.end(), image.samples.begin(), image.samples.end());
    const Bytes tiffDirectories = HostileDirectories(at, tiffRecords, tiffSize);
    tiffFile.insert(tiffFile.end(), tiffDirectories.begin(), tiffDirectories.end());
    tiffFile.resize(tiffSize, 0);
    WriteBytes(Path("hostile.tif"), tiffFile);

    for (const char* name : {"hostile.jpg", "hostile.png", "hostile.tif"}) {
        SCOPED_TRACE(name);
        const auto size = static_cast<std::size_t>(std::filesystem::file_size(Path(name)));
        const auto readAndCarry = [&] {
            ToolImage read;
            ImageMetadata carried;
            return ReadImage(Path(name), read, &carried).ok() && read.samples == image.samples &&
                   WriteImage(Path("carried.tif"), read, carried, {}).ok();
        };
        bool done = false;
        const std::size_t bytes = PeakOf([&] { done = readAndCarry(); });
        ASSERT_TRUE(done);
        // The EXIF block or the file held once, one directory read of at most 8 times its size plus 4
        // KiB (tiff_directory.h), the directory read back from the output, and 64 KiB for the rest.
        EXPECT_LT(bytes, 10 * size + 96 * 1024) << "a file of " << size << " bytes";
        EXPECT_LT(ChildGrowth(readAndCarry), 32l << 20) << "libtiff reads the 1000 values of 256 KiB of the TIFF's";
        // What is kept: the make, not the EXIF directory over the budget nor the loops.
        ToolImage back;
        ASSERT_TRUE(ReadImage(Path("carried.tif"), back, &metadata).ok());
        MemoryByteSource exif(metadata.exif);
        tiff::Directory first;
        std::string why;
        ASSERT_TRUE(tiff::ReadDirectory(exif, false, 8, {nullptr, true}, first, why)) << why;
        ASSERT_EQ(first.entries.size(), 1u);
        EXPECT_EQ(first.entries[0].value, (Bytes{'C', 'a', 'm', 0}));
    }
}

}  // namespace
}  // namespace aperlume::tool
