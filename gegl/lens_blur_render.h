// One render of the operation: the whole extent of the input at once (a lens blur reads up to the
// aperture's radius beyond every pixel, and Monte Carlo's noise follows the raster order over the whole
// image), through the engine on `threads` threads, into the output over `area`.
//
// Codes: kOutOfMemory when a plane, the depth map or a band buffer cannot be had; the engine's own codes
// otherwise (engine/render.h). On failure the output is not written.
#pragma once

#include <gegl.h>

#include <cstdint>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "engine/render.h"
#include "gegl/gegl_pixels.h"

namespace aperlume::gegl_op {

struct ExtentRender {
    FilterParameters settings;
    PixelFormat format;           // the negotiated format of input and output
    GeglBuffer* input;
    GeglRectangle extent;         // the input's whole extent, not empty
    GeglBuffer* depthMap;         // null unless the depth map is in force
    GeglRectangle depthExtent;    // the depth map's extent, of the input's size
    const Babl* depthFormat;
    GeglBuffer* output;
    GeglRectangle area;           // what to write, inside `extent`
    std::int32_t threads;
};

[[nodiscard]] Result RenderExtent(const ExtentRender& render, CheckPoints& checkPoints);

}  // namespace aperlume::gegl_op
