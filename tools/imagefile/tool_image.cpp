// The tools' image: geometry checks, the 16-bit range mapping and row growth.
#include "tools/imagefile/tool_image.h"

#include <algorithm>
#include <bit>
#include <new>

#include "tools/imagefile/byte_order.h"

namespace aperlume::tool {
// 16-bit samples are kept little-endian, as the host keeps them and as every machine the tools are built
// for does.
static_assert(std::endian::native == std::endian::little);

std::size_t ToolImage::RowBytes() const {
    return static_cast<std::size_t>(width < 0 ? 0 : width) * static_cast<std::size_t>(channels < 0 ? 0 : channels) *
           static_cast<std::size_t>(BytesPerSample());
}

std::string SizeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

ToolStatus CheckImageGeometry(std::int32_t width, std::int32_t height, std::int32_t channels,
                              std::int32_t bitDepth, const std::string& what) {
    if (width < 1 || height < 1)
        return ToolStatus::Failure(what + ": the image is empty (" + SizeText(width, height) + ")");
    if (width > kMaxImageSide || height > kMaxImageSide)
        return ToolStatus::Failure(what + ": the image is " + SizeText(width, height) + "; the filter takes at most " +
                                   std::to_string(kMaxImageSide) + " pixels a side");
    if (channels < 1 || channels > 4)
        return ToolStatus::Failure(what + ": " + std::to_string(channels) + " channels are not supported");
    if (bitDepth != 8 && bitDepth != 16)
        return ToolStatus::Failure(what + ": " + std::to_string(bitDepth) + "-bit samples are not supported");
    // Sides of at most 2^15 and 4 channels of 2 bytes stay below 2^33 bytes: in range of a 64-bit size,
    // but not of a 32-bit one.
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
                                static_cast<std::uint64_t>(channels) * 2u;
    if (bytes > static_cast<std::uint64_t>(SIZE_MAX / 4))
        return ToolStatus::Failure(what + ": the image is too large for this system (" + SizeText(width, height) + ")");
    return ToolStatus::Success();
}

std::uint8_t EightFromHost16(std::uint32_t hostValue) {
    if (hostValue >= 32768u) return 255;
    return static_cast<std::uint8_t>((hostValue * 255u + 16384u) / 32768u);
}

void HostFromFile16Row(std::uint16_t* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) samples[i] = HostFromFile16(samples[i]);
}

void FileFromHost16Row(const std::uint8_t* host, std::uint16_t* file, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) file[i] = FileFromHost16(LittleEndian16(host + 2 * i));
}

void EightFromHost16Row(const std::uint8_t* host, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = EightFromHost16(LittleEndian16(host + 2 * i));
}

RowGrowth::RowGrowth(ToolImage& image, std::size_t expectedBytes)
    : image_(image),
      rowBytes_(image.RowBytes()),
      total_(rowBytes_ * static_cast<std::size_t>(image.height)) {
    image_.samples.clear();
    try {
        image_.samples.reserve(std::min(total_, std::max(expectedBytes, rowBytes_)));
    } catch (const std::bad_alloc&) {
        // Row() reports it when the first row cannot be had either.
    }
}

std::uint8_t* RowGrowth::Rows(std::int32_t first, std::int32_t count) {
    const std::size_t end = rowBytes_ * static_cast<std::size_t>(first + count);
    std::vector<std::uint8_t>& samples = image_.samples;
    if (end > samples.size()) {
        try {
            if (end > samples.capacity()) samples.reserve(std::min(total_, std::max(end, 2 * samples.capacity())));
            samples.resize(end);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return samples.data() + rowBytes_ * static_cast<std::size_t>(first);
}

std::uint8_t* RowGrowth::Row(std::int32_t y) { return Rows(y, 1); }

}  // namespace aperlume::tool
