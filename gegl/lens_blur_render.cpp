// The render of the whole extent: planes from the input, weights from the depth map, the engine, and the
// planes back into the output.
#include "gegl/lens_blur_render.h"

#include "base/parallel_for.h"
#include "base/working_memory.h"
#include "engine/render_planes.h"

namespace aperlume::gegl_op {

Result RenderExtent(const ExtentRender& render, CheckPoints& checkPoints) {
    const std::int32_t width = render.extent.width;
    const std::int32_t height = render.extent.height;
    const RenderJob job{render.settings,
                        MakePlaneLayout(render.format.ImageMode(), static_cast<std::int16_t>(render.format.Channels())),
                        width, height, KernelDiameter(render.settings.amount, 1.0), render.threads};
    RenderPlanes planes;
    if (Result r = planes.Allocate(job); !r.ok()) return r;
    const std::span<const PlaneView> views = planes.Views();
    // The conversions of every band, the render's passes and the write-back share one set of helper threads.
    const ParallelScope helpers;
    if (Result r = ReadPlanes(render.input, render.extent, render.format, views, job.threads); !r.ok()) return r;

    Buffer<float> weights;
    if (render.depthMap != nullptr) {
        weights = AllocateRaster<float>(width, height);
        if (weights == nullptr) return kOutOfMemory;
        if (Result r = ReadDepthMap(render.depthMap, render.depthExtent, render.depthFormat, weights.get(), job.threads);
            !r.ok())
            return r;
    }
    if (Result r = Render(job, views, weights.get(), checkPoints); !r.ok()) return r;
    return WritePlanes(render.output, render.extent, render.area, render.format, views, job.threads);
}

}  // namespace aperlume::gegl_op
