// The direct convolution method: every pixel spread over the aperture in the image domain, each output
// normalised by the weight it actually received, so the border and transparent pixels need no special
// kernels. Without a depth map one kernel is gathered per output pixel (engine/direct_gather.cpp); with
// one, every source pixel scatters its own aperture size and in-focus pixels are shielded from the ones
// above the focus (engine/direct_scatter.cpp). Both work band by band on several threads
// (engine/direct_frame.h) with loops chosen for the processor (engine/direct_loops.h).
#include "engine/direct_convolution.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine/direct_frame.h"
#include "engine/direct_gather.h"
#include "engine/direct_kernel_steps.h"
#include "engine/direct_scatter.h"
#include "engine/methods.h"
#include "engine/pixel_layout.h"

namespace aperlume {
namespace {

constexpr double kFocusScale = 0.00392156862745098;  // 1 / 255 as the focus setting is stored

// Apertures up to this diameter (five times what the dialog allows) are always drawn whole.
constexpr std::int32_t kWholeDiameter = 1001;

// How much of an aperture of `diameter` the kernel holds along an image side of `extent` pixels. Weights
// further from the centre than the side is long can never be used, so a huge aperture (possible only
// through scripted settings) is cut down to what can: its central part drawn on a smaller raster, which
// may differ from the whole drawing's centre only where a cut-off vertex truncates the other way.
std::int32_t KernelExtent(std::int32_t diameter, std::int32_t extent) {
    if (diameter <= kWholeDiameter) return diameter;
    return static_cast<std::int32_t>(std::min<std::int64_t>(diameter, 2 * static_cast<std::int64_t>(extent) - 1));
}

// A kernel whose only positive weight is its centre leaves every colour as it was (w * v / w) and makes
// every alpha at or below 0 exactly 0 (such a pixel counts as transparent: it adds 0 to the alpha sum).
void KeepOwnValues(const direct::Lanes& lanes, std::span<const PlaneView> planes) {
    if (!lanes.alpha) return;
    const PlaneView& alpha = planes[static_cast<std::size_t>(lanes.colourPlanes)];
    for (std::int32_t y = 0; y < alpha.height; ++y) {
        float* row = alpha.Row(y);
        for (std::int32_t x = 0; x < alpha.width; ++x) row[x] = row[x] > 0.0f ? row[x] : 0.0f;
    }
}

Result SpreadUniform(const RenderJob& job, const direct::Geometry& g, const direct::Lanes& lanes,
                     const direct::Loops& loops, std::span<const PlaneView> planes, direct::Progress& progress) {
    Buffer<float> raster = AllocateRaster<float>(g.kernelWidth, g.kernelHeight);
    if (raster == nullptr) return kOutOfMemory;
    BuildApertureKernel(job.settings, job.diameter, g.kernelWidth, g.kernelHeight, raster.get());
    // Gathering with the reversed kernel spreads every source over the aperture as drawn.
    ReverseKernel(raster.get(), g.kernelWidth, g.kernelHeight);
    direct::KernelSteps kernel;
    const bool built = kernel.Build(g.kernelWidth, g.kernelHeight, [&](std::int32_t ky, float* row) {
        std::copy_n(raster.get() + static_cast<std::size_t>(ky) * g.kernelWidth, g.kernelWidth, row);
    });
    if (!built) return kOutOfMemory;
    raster.reset();
    // Without a positive weight every pixel keeps its own values.
    if (kernel.FirstRow() == kernel.EndRow()) return progress.Check(0) ? kOk : kUserCanceled;
    if (kernel.OnlyAt(g.radiusX, g.radiusY)) {
        if (!progress.Check(0)) return kUserCanceled;
        KeepOwnValues(lanes, planes);
        return kOk;
    }
    return direct::GatherUniform(g, lanes, kernel, loops, std::max(1, job.threads), planes, progress);
}

Result SpreadWithDepth(const RenderJob& job, const direct::Geometry& g, const direct::Lanes& lanes,
                       const direct::Loops& loops, std::span<const PlaneView> planes, const float* depthMap,
                       direct::Progress& progress) {
    if (job.diameter == 1) {
        // Every size code is +-1 and every pixel spreads onto itself alone, never shielded from itself.
        float weight = 0.0f;
        BuildApertureKernel(job.settings, 1, 1, 1, &weight);
        if (!progress.Check(0)) return kUserCanceled;
        if (weight > 0.0f) KeepOwnValues(lanes, planes);
        return kOk;
    }
    return direct::ScatterWithDepth(g, lanes, job.settings, job.diameter, depthMap, loops, std::max(1, job.threads),
                                    planes, progress);
}

}  // namespace

void ReverseKernel(float* kernel, std::int32_t width, std::int32_t height) {
    if (kernel == nullptr || width <= 0 || height <= 0) return;
    std::reverse(kernel, kernel + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

std::int32_t DepthSizeCode(float depth, std::int16_t focus, std::int32_t diameter) {
    const double f = focus * kFocusScale;
    const double v = depth;
    const double scaled = std::fabs(v - f) * diameter + 0.5;
    std::int32_t size = scaled < static_cast<double>(diameter) ? static_cast<std::int32_t>(scaled) : diameter;
    if (size % 2 == 0) size += 1;
    return v > f ? -size : size;
}

Result DirectConvolveWith(fft::SimdPath path, const RenderJob& job, std::span<const PlaneView> planes,
                          const float* depthMap, CheckPoints& checkPoints) {
    // Before any memory is taken: a preview that is to stop does so at once.
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    if (job.layout.code == kLayoutRefused) return kBadMode;
    // Modes without a channel assignment, and empty or degenerate requests, spread nothing.
    if (job.layout.channels.colourChannels == 0 || JobIsEmpty(job)) return kOk;
    if (!PlanesFitJob(job, planes)) return kBadParameters;

    const direct::Lanes lanes{job.layout.channels.colourChannels, job.layout.channels.hasAlpha};
    const std::int32_t kernelWidth = KernelExtent(job.diameter, job.width);
    const std::int32_t kernelHeight = KernelExtent(job.diameter, job.height);
    const direct::Geometry geometry{job.width, job.height, kernelWidth, kernelHeight, kernelWidth / 2, kernelHeight / 2};
    direct::Progress progress(checkPoints, job.height);
    const direct::Loops& loops = direct::LoopsFor(path);
    return job.settings.depth != 0 && depthMap != nullptr
               ? SpreadWithDepth(job, geometry, lanes, loops, planes, depthMap, progress)
               : SpreadUniform(job, geometry, lanes, loops, planes, progress);
}

Result DirectConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* depthMap,
                      CheckPoints& checkPoints) {
    return DirectConvolveWith(fft::SimdPath::kBest, job, planes, depthMap, checkPoints);
}

}  // namespace aperlume
