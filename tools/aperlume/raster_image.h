// Images as files hold them, and their conversion to and from the host's interleaved images.
//
// A RasterImage has 1 (gray), 2 (gray+alpha), 3 (RGB) or 4 (RGBA) channels of 8 or 16 bits, values
// 0..255 or 0..65535. The host's 16-bit range is 0..32768, so 16-bit values are scaled with rounding
// (65535 <-> 32768) on the way in and out; alpha travels as one more plane counted in `planes`.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/aperlume/tool_status.h"
#include "tools/host/filter_host.h"

namespace aperlume::tool {

struct RasterImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t channels = 0;  // 1..4
    std::int32_t bitDepth = 8;  // 8 or 16
    std::vector<std::uint16_t> samples;  // rows of width * channels values
};

// The largest side the host's records can describe (16-bit coordinates).
inline constexpr std::int32_t kMaxImageSide = 32767;

// Checks a file's geometry before any buffer is made for it: sides 1..kMaxImageSide, 1..4 channels,
// 8 or 16 bits, and a sample count that fits in memory sizes. `what` names the file in the message.
ToolStatus CheckRasterGeometry(std::int32_t width, std::int32_t height, std::int32_t channels,
                               std::int32_t bitDepth, const std::string& what);

// 16-bit file values to the host's 0..32768 and back, rounding to the nearest.
std::uint16_t HostFromFile16(std::uint16_t fileValue);
std::uint16_t FileFromHost16(std::uint32_t hostValue);

// The host image for a raster: gray 1 (16-bit: 10), RGB 3 (16-bit: 11), planes = channels.
testhost::HostImage ToHostImage(const RasterImage& raster);
// The raster for a host image in one of the four modes above, with `planes` channels.
RasterImage FromHostImage(const testhost::HostImage& image);

// One selection byte per pixel from a gray raster of the given size (16-bit values scaled to 8 bits
// with rounding). Fails, naming `what`, for a colour image or a size other than width x height.
ToolStatus SelectionFromRaster(const RasterImage& raster, std::int32_t width, std::int32_t height,
                               const std::string& what, std::vector<std::uint8_t>& selection);

}  // namespace aperlume::tool
