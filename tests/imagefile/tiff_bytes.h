// TIFF files built from directories, for tests that need files no encoder writes (damaged, unusual,
// of samples the tool refuses): a header, the image data, then the first directory.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include "tools/imagefile/tiff_directory.h"

namespace aperlume::tool::testing {

inline tiff::Entry Numbers(std::uint16_t tag, std::uint16_t type, std::initializer_list<std::uint32_t> values) {
    tiff::Entry entry{tag, type, static_cast<std::uint32_t>(values.size()), {}, {}};
    const std::size_t size = tiff::TypeSize(type);
    for (std::uint32_t value : values)
        for (std::size_t i = 0; i < size; ++i) entry.value.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return entry;
}

struct TiffImage {
    std::uint32_t width = 4, height = 2, samples = 3, bits = 8;
    std::uint32_t photometric = 2;  // RGB; 1 for gray
    bool bigEndian = false;
    std::vector<std::uint8_t> data;  // the strip (or the tiles), as stored
};

// The first directory of `image` as one uncompressed strip at offset 8, edited by `change`.
inline tiff::Directory TiffDirectory(const TiffImage& image, const std::function<void(tiff::Directory&)>& change = {}) {
    tiff::Directory directory;
    directory.Put(Numbers(tiff::kImageWidth, tiff::kShort, {image.width}));
    directory.Put(Numbers(tiff::kImageLength, tiff::kShort, {image.height}));
    tiff::Entry bits = Numbers(tiff::kBitsPerSample, tiff::kShort, {});
    for (std::uint32_t i = 0; i < image.samples; ++i) bits.value.insert(bits.value.end(), {static_cast<std::uint8_t>(image.bits), 0});
    bits.count = image.samples;
    directory.Put(bits);
    directory.Put(Numbers(tiff::kCompression, tiff::kShort, {1}));
    directory.Put(Numbers(tiff::kPhotometric, tiff::kShort, {image.photometric}));
    directory.Put(Numbers(tiff::kStripOffsets, tiff::kLong, {8}));
    directory.Put(Numbers(tiff::kSamplesPerPixel, tiff::kShort, {image.samples}));
    directory.Put(Numbers(tiff::kRowsPerStrip, tiff::kShort, {image.height}));
    directory.Put(Numbers(tiff::kStripByteCounts, tiff::kLong, {static_cast<std::uint32_t>(image.data.size())}));
    if (change) change(directory);
    return directory;
}

// The header and the strip of `image`, the header pointing to a first directory at `at`.
inline std::vector<std::uint8_t> TiffHead(const TiffImage& image, std::uint32_t at) {
    std::vector<std::uint8_t> file = image.bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42}
                                                     : std::vector<std::uint8_t>{'I', 'I', 42, 0};
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(at >> (image.bigEndian ? 24 - 8 * i : 8 * i)));
    file.insert(file.end(), image.data.begin(), image.data.end());
    return file;
}

// The file of `image` as one uncompressed strip, with the directory edited by `change` after it.
inline std::vector<std::uint8_t> TiffFile(const TiffImage& image,
                                          const std::function<void(tiff::Directory&)>& change = {}) {
    const tiff::Directory directory = TiffDirectory(image, change);
    const auto at = static_cast<std::uint32_t>(8 + image.data.size() + image.data.size() % 2);
    std::vector<std::uint8_t> file = TiffHead(image, at);
    file.resize(at, 0);
    const std::vector<std::uint8_t> bytes = tiff::WriteDirectory(directory, at, image.bigEndian);
    file.insert(file.end(), bytes.begin(), bytes.end());
    return file;
}

}  // namespace aperlume::tool::testing
