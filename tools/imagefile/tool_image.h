// The tools' image: interleaved rows of 1 (gray), 2 (gray+alpha), 3 (RGB) or 4 (RGBA) samples, 8-bit,
// or 16-bit little-endian in the range hosts give 16-bit images to plug-ins, 0..32768. Files are decoded
// straight into it and encoded straight from it, and its samples move into the document the tool's host
// serves the plug-in (and back) without a copy, so no whole-image copy stands between a file and the filter.
//
// 16-bit file values (0..65535) map to the host's range with rounding (65535 <-> 32768); every host
// value survives the trip through a 16-bit file. A reader may keep the file's values instead
// (SampleRange::File), for a selection, whose 8-bit value comes from the file's value in one rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/sample_values.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

struct ToolImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t channels = 0;          // 1..4: gray, gray+alpha, RGB, RGBA
    std::int32_t bitDepth = 8;          // 8 or 16
    std::vector<std::uint8_t> samples;  // rows back to back (an image being decoded holds fewer)

    int BytesPerSample() const { return bitDepth == 16 ? 2 : 1; }
    std::size_t RowBytes() const;
};

enum class SampleRange { Host, File };

// The largest side the host's records can describe (16-bit coordinates).
inline constexpr std::int32_t kMaxImageSide = 32767;

// Checks a file's geometry before any buffer is made for it: sides 1..kMaxImageSide, 1..4 channels,
// 8 or 16 bits, and a byte count that fits in memory sizes. `what` names the file in the message.
ToolStatus CheckImageGeometry(std::int32_t width, std::int32_t height, std::int32_t channels,
                              std::int32_t bitDepth, const std::string& what);

// "WxH", the way every message gives an image's size.
std::string SizeText(std::int64_t width, std::int64_t height);

// An image of this geometry with no samples yet.
inline ToolImage EmptyToolImage(std::int32_t width, std::int32_t height, std::int32_t channels, std::int32_t bitDepth) {
    return ToolImage{width, height, channels, bitDepth, {}};
}
inline bool HasAlpha(const ToolImage& image) { return image.channels == 2 || image.channels == 4; }

// 16-bit file values to the host's 0..32768 and back, rounding to the nearest (base/, where the GEGL
// operation finds them too).
using ::aperlume::FileFromHost16;
using ::aperlume::HostFromFile16;
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

}  // namespace aperlume::tool
