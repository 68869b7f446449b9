// An image as our own host keeps it: interleaved samples, 1 or 2 bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_records.h"

namespace aperlume::testhost {

// planes samples per pixel, rows back to back, 16-bit samples little-endian.
struct HostImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t planes = 0;
    std::int16_t imageMode = kModeRGB;
    std::vector<std::uint8_t> samples;

    int BytesPerSample() const { return imageMode == kModeGray16 || imageMode == kModeRGB48 ? 2 : 1; }
    std::size_t PixelBytes() const;
    std::size_t RowBytes() const;
    // The samples hold every row (an image being decoded or moved from holds fewer).
    bool Complete() const { return samples.size() == RowBytes() * static_cast<std::size_t>(height < 0 ? 0 : height); }
    std::uint8_t* Row(int row) { return samples.data() + static_cast<std::size_t>(row) * RowBytes(); }
    const std::uint8_t* Row(int row) const { return samples.data() + static_cast<std::size_t>(row) * RowBytes(); }
    std::uint32_t Sample(int row, int column, int plane) const;
    void SetSample(int row, int column, int plane, std::uint32_t value);
};

HostImage MakeImage(std::int32_t width, std::int32_t height, std::int16_t planes, std::int16_t imageMode);

}  // namespace aperlume::testhost
