// Helpers shared by the image-file tests and the tool's: file images with a fixed pattern, and a fresh
// folder per test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/imagefile/tool_image.h"

namespace aperlume::tool::testing {

// Sample `index` of the image's interleaved samples (16-bit ones little-endian).
inline std::uint32_t SampleAt(const ToolImage& image, std::size_t index) {
    if (image.BytesPerSample() == 1) return image.samples[index];
    return image.samples[2 * index] | std::uint32_t{image.samples[2 * index + 1]} << 8;
}
inline void SetSampleAt(ToolImage& image, std::size_t index, std::uint32_t value) {
    if (image.BytesPerSample() == 1) {
        image.samples[index] = static_cast<std::uint8_t>(value);
    } else {
        image.samples[2 * index] = static_cast<std::uint8_t>(value);
        image.samples[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
    }
}
inline std::size_t SampleCount(const ToolImage& image) {
    return image.samples.size() / static_cast<std::size_t>(image.BytesPerSample());
}

// Every sample from a multiplicative hash of its index, in the host's range (16-bit: 0..32768); the
// first two are the extremes of the range.
inline ToolImage PatternImage(std::int32_t width, std::int32_t height, std::int32_t channels, std::int32_t bitDepth) {
    ToolImage image = EmptyToolImage(width, height, channels, bitDepth);
    const std::size_t count = static_cast<std::size_t>(width * height * channels);
    image.samples.resize(count * static_cast<std::size_t>(bitDepth / 8));
    const std::uint32_t range = bitDepth == 16 ? 32769u : 256u;
    for (std::size_t i = 0; i < count; ++i) SetSampleAt(image, i, static_cast<std::uint32_t>((i * 2654435761u >> 7) % range));
    SetSampleAt(image, 0, range - 1);
    if (count > 1) SetSampleAt(image, 1, 0);
    return image;
}

// The whole content of a file ("" when it cannot be read).
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A test with its own empty folder under the system's temporary folder, removed afterwards. The name
// carries the program's start time too: test programs of several build trees may run at once.
class TemporaryFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const std::string run = std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() /
                  ("aperlume-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" + run);
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    std::filesystem::path folder_;
};

}  // namespace aperlume::tool::testing
