// Helpers shared by the tool's tests: file images with a fixed pattern, and a fresh folder per test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/aperlume/raster_image.h"

namespace aperlume::tool::testing {

// Every sample from a multiplicative hash of its index; the first two are the extremes of the range.
inline RasterImage PatternRaster(std::int32_t width, std::int32_t height, std::int32_t channels,
                                 std::int32_t bitDepth) {
    RasterImage image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.bitDepth = bitDepth;
    image.samples.resize(static_cast<std::size_t>(width * height * channels));
    const std::uint32_t range = bitDepth == 16 ? 65536u : 256u;
    for (std::size_t i = 0; i < image.samples.size(); ++i)
        image.samples[i] = static_cast<std::uint16_t>((i * 2654435761u >> 7) % range);
    image.samples[0] = static_cast<std::uint16_t>(range - 1);
    if (image.samples.size() > 1) image.samples[1] = 0;
    return image;
}

// The whole content of a file ("" when it cannot be read).
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A test with its own empty folder under the system's temporary folder, removed afterwards.
class TemporaryFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() /
                  ("aperlume-" + std::string(test->test_suite_name()) + "-" + test->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    std::filesystem::path folder_;
};

}  // namespace aperlume::tool::testing
