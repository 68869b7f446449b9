// How the operation exchanges pixels with GEGL, so that it gives the picture the tool gives for the same
// file: gamma-encoded R'G'B'(A), or Y'(A) for gray, in the source's own colour space; one engine plane
// per channel, alpha spread like the others and never premultiplied.
//
// A source of 8-bit or 16-bit gamma-encoded samples (what GEGL loads from PNG, JPEG and TIFF files, and
// GIMP's 8 and 16-bit perceptual images) is taken in those samples and converted exactly as the tool
// converts a file's: 8-bit s as s/255, 16-bit f through the host's range (0..32768) the tool maps it to,
// and back with the same rounding. The engine's input is then the tool's to the bit, and Monte Carlo,
// whose choices follow the values, draws the same noise. Any other source (float, half, 32-bit, linear or
// premultiplied) is taken as float and written back clamped to 0..1, as every other write-back clamps.
//
// Every size has been checked by the caller; the functions take GEGL's rectangles and fill or read
// planes of the whole extent. GEGL is called on the calling thread only; the conversion of each band of
// rows runs on up to `threads` threads.
#pragma once

#include <gegl.h>

#include <cstdint>
#include <span>

#include "base/result.h"
#include "engine/render.h"

namespace aperlume::gegl_op {

enum class SampleKind : std::uint8_t { Eight, Sixteen, Float };

struct PixelFormat {
    SampleKind kind = SampleKind::Float;
    bool gray = false;
    bool alpha = true;
    const Babl* babl = nullptr;  // what the operation asks GEGL for

    std::int32_t Channels() const { return (gray ? 1 : 3) + (alpha ? 1 : 0); }
    // The host's image mode whose arithmetic the planes follow.
    std::int16_t ImageMode() const;
};

// The format the operation asks for, given the source's (null: nothing connected yet). Choosing again
// for a chosen format gives the same format, so the format GEGL negotiated tells what it is.
PixelFormat ChoosePixelFormat(const Babl* source);

// The depth map's format: the source's gray or colour samples as 16-bit values (exact for 8 and 16-bit
// sources), alpha dropped, in the source's space.
const Babl* DepthMapFormat(const Babl* source);

// `extent` of `buffer` into the planes (Channels() of them, extent-sized). kOutOfMemory when the band
// buffer cannot be had.
[[nodiscard]] Result ReadPlanes(GeglBuffer* buffer, const GeglRectangle& extent, const PixelFormat& format,
                                std::span<const PlaneView> planes, std::int32_t threads);

// The planes (extent-sized, whole-extent coordinates) into `area` of `buffer`, an area inside `extent`.
[[nodiscard]] Result WritePlanes(GeglBuffer* buffer, const GeglRectangle& extent, const GeglRectangle& area,
                                 const PixelFormat& format, std::span<const PlaneView> planes, std::int32_t threads);

// The depth map over `extent` of `aux` as the engine's weights (extent-sized, rows back to back): each
// pixel's 8-bit selection level, as the tool makes it from a selection file, over 255.
[[nodiscard]] Result ReadDepthMap(GeglBuffer* aux, const GeglRectangle& extent, const Babl* format, float* weights,
                                  std::int32_t threads);

}  // namespace aperlume::gegl_op
