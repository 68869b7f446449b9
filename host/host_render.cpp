// The render of a rectangle of the host's image: everything the engine needs is taken here once, as
// values, so that a preview handler that runs at a check point cannot change the render under way.
#include "host/host_render.h"

#include <cmath>

#include "base/filter_parameters.h"
#include "base/parallel_for.h"
#include "base/working_memory.h"
#include "engine/render_planes.h"
#include "host/image_requests.h"
#include "host/pixel_conversion.h"
#include "host/plugin_context.h"
#include "host/process_state.h"

namespace aperlume {
namespace {

// The width of the last full-size frame a scaling host rendered. Process-wide because the host's frames
// of one project come through separate calls, and the scale of a frame is known only against the full
// width seen before.
std::int32_t rememberedFullWidth = 0;

}  // namespace

bool HostCheckPoints::HostAborted() { return record_.abortProc != nullptr && record_.abortProc() != 0; }

void HostCheckPoints::Progress(std::int32_t done, std::int32_t total) {
    if (record_.progressProc != nullptr) record_.progressProc(done, total);
}

double HostRenderScale(std::int32_t frameWidth) {
    const std::int32_t full = rememberedFullWidth;
    if (frameWidth == full) return 1.0;
    // The quarter test comes first: for a full width of 1 or 2 both would match.
    if (frameWidth == static_cast<std::int32_t>(std::ceil(full * 0.25))) return 0.25;
    if (frameWidth == static_cast<std::int32_t>(std::ceil(full * 0.5))) return 0.5;
    rememberedFullWidth = frameWidth;
    return 1.0;
}

Result RenderLensBlur(FilterRecord& record, const Rect& area, CheckPoints& checkPoints) {
    const int bytesPerSample = BytesPerSample(record);
    FixColumnBytes(record);

    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    const FilterParameters* block = Parameters(record);
    if (block == nullptr) return kBadParameters;
    const FilterParameters settings = *block;
    // Eight plane buffers are all the engine has; a host that counts more gets the mode refused before
    // any memory is taken.
    if (record.planes < 0 || record.planes > kMaxPlanes) return kBadMode;

    const std::int32_t width = area.right - area.left;
    const std::int32_t height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return kOk;
    // Reads and writes address the host's buffers in whole-image coordinates: the host must have
    // delivered the whole image as asked, and the area must lie in it.
    if (Result r = CheckWholeImageDelivered(record); !r.ok()) return r;
    if (area.top < 0 || area.left < 0 || area.bottom > record.imageSize.v || area.right > record.imageSize.h)
        return kBadParameters;

    const double scale = GetHostKind() == HostAfterEffects ? HostRenderScale(record.wholeSize.h) : 1.0;
    // The protocol has no field for a thread count: the render takes every core the process may use.
    const RenderJob job{settings, MakePlaneLayout(record.imageMode, record.planes), width, height,
                        KernelDiameter(settings.amount, scale), HardwareThreads()};

    RenderPlanes planes;
    if (Result r = planes.Allocate(job); !r.ok()) return r;
    const bool depthMap = DepthMapInForce(settings);
    Buffer<float> weights;
    if (depthMap || record.haveMask != 0) {
        weights = AllocateRaster<float>(width, height);
        if (weights == nullptr) return kOutOfMemory;
    }
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;

    const std::span<const PlaneView> views = planes.Views();
    // The reads, the render's passes and the writes share one set of helper threads.
    const ParallelScope helpers;
    ReadPlanes(record, area, bytesPerSample, views, weights.get(), job.threads);
    if (Result r = Render(job, views, weights.get(), checkPoints); !r.ok()) return r;
    WritePlanes(record, area, bytesPerSample, views, weights.get(), depthMap, job.threads);
    return kOk;
}

}  // namespace aperlume
