// The tool's image is the host's own: interleaved rows of 1 (gray), 2 (gray+alpha), 3 (RGB) or 4 (RGBA)
// samples, 8-bit, or 16-bit little-endian in the host's range 0..32768. Files are decoded straight into
// it and encoded straight from it, so no whole-image copy stands between a file and the filter.
//
// 16-bit file values (0..65535) map to the host's range with rounding (65535 <-> 32768); every host
// value survives the trip through a 16-bit file. A reader may keep the file's values instead
// (SampleRange::File), for a selection, whose 8-bit value comes from the file's value in one rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/aperlume/tool_status.h"
#include "tools/host/filter_host.h"

namespace aperlume::tool {

using ToolImage = testhost::HostImage;

enum class SampleRange { Host, File };

// The largest side the host's records can describe (16-bit coordinates).
inline constexpr std::int32_t kMaxImageSide = 32767;

// Checks a file's geometry before any buffer is made for it: sides 1..kMaxImageSide, 1..4 channels,
// 8 or 16 bits, and a byte count that fits in memory sizes. `what` names the file in the message.
ToolStatus CheckImageGeometry(std::int32_t width, std::int32_t height, std::int32_t channels,
                              std::int32_t bitDepth, const std::string& what);

// An image of this geometry with no samples yet (the host's mode for the channels and bit depth).
ToolImage EmptyToolImage(std::int32_t width, std::int32_t height, std::int32_t channels, std::int32_t bitDepth);
inline std::int32_t ChannelsOf(const ToolImage& image) { return image.planes; }
inline std::int32_t BitDepthOf(const ToolImage& image) { return image.BytesPerSample() * 8; }
inline bool HasAlpha(const ToolImage& image) { return image.planes == 2 || image.planes == 4; }

// 16-bit file values to the host's 0..32768 and back, rounding to the nearest.
std::uint16_t HostFromFile16(std::uint16_t fileValue);
std::uint16_t FileFromHost16(std::uint32_t hostValue);
// The host's 16-bit value as an 8-bit one, rounding to the nearest (a 16-bit image written as JPEG).
std::uint8_t EightFromHost16(std::uint32_t hostValue);

// In-place conversions of `count` 16-bit samples in native byte order.
void HostFromFile16Row(std::uint16_t* samples, std::size_t count);
// `count` host samples (little-endian bytes) to file values in native byte order.
void FileFromHost16Row(const std::uint8_t* host, std::uint16_t* file, std::size_t count);
// `count` host samples (little-endian bytes) to 8 bits.
void EightFromHost16Row(const std::uint8_t* host, std::uint8_t* out, std::size_t count);

// Grows an image's samples as a decoder reaches its rows: memory follows the rows actually decoded, so
// a header that promises more rows than the data holds fails at the end of the data, not after the
// claimed size was set aside. Growth starts from `expectedBytes` (what the file's size suggests) and
// doubles, never beyond the whole image.
class RowGrowth {
public:
    RowGrowth(ToolImage& image, std::size_t expectedBytes);
    // The start of row `y`, making room up to and including it; earlier pointers may move. Null when
    // the memory cannot be had.
    std::uint8_t* Row(std::int32_t y);
    // The rows from `first` to `first + count - 1`, contiguous.
    std::uint8_t* Rows(std::int32_t first, std::int32_t count);

private:
    ToolImage& image_;
    std::size_t rowBytes_;
    std::size_t total_;
};

// One selection byte per pixel from an image of the given size, read with SampleRange::File (16-bit
// values scaled to 8 bits with rounding): gray as it is, colour by its luma; alpha is ignored. Fails,
// naming `what`, for an image of another size.
ToolStatus SelectionFromImage(const ToolImage& image, std::int32_t width, std::int32_t height,
                              const std::string& what, std::vector<std::uint8_t>& selection);

}  // namespace aperlume::tool
