// One render: the highlight correction around the chosen method, over bands of rows on the job's
// threads, and every value handed back finite.
#include "engine/render.h"

#include "base/row_bands.h"
#include "base/sample_values.h"
#include "engine/highlight_correction.h"
#include "engine/methods.h"

namespace aperlume {
namespace {

// `operation(row)` for every row of `plane`, in bands of rows spread over the job's threads.
template <class Operation>
void ForEachRow(const RenderJob& job, const PlaneView& plane, Operation operation) {
    ForEachRowBand(job.threads, plane.width, plane.height, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t y = first; y < end; ++y) operation(plane.Row(y));
    });
}

enum class Direction { Forward, Inverse };

// The correction of the colour planes, with the host's abort and then the preview's check before each
// plane. The inverse also makes every value of the plane finite.
Result CorrectColourPlanes(const RenderJob& job, std::span<const PlaneView> planes, const HighlightCorrection& correction,
                           Direction direction, CheckPoints& checkPoints) {
    for (std::int32_t j = 0; j < job.layout.colourPlanes; ++j) {
        if (checkPoints.HostAborted() || checkPoints.PreviewInterrupted()) return kUserCanceled;
        const PlaneView& plane = planes[static_cast<std::size_t>(j)];
        if (direction == Direction::Forward) {
            if (correction.Corrects())
                ForEachRow(job, plane, [&](float* row) { correction.Forward(row, plane.width); });
        } else {
            ForEachRow(job, plane, [&](float* row) { correction.Inverse(row, plane.width); });
        }
    }
    return kOk;
}

SpreadMethod MethodFor(std::int16_t method) {
    switch (method) {
        case 0:
            return &DirectConvolve;
        case 1:
            return &MonteCarloConvolve;
        case 2:
            return &FftConvolve;
        default:
            return nullptr;  // no spreading at all
    }
}

}  // namespace

PlaneLayout MakePlaneLayout(std::int16_t imageMode, std::int16_t planes) {
    PlaneLayout layout{};
    layout.imageMode = imageMode;
    layout.planeCount = planes < 0 ? 0 : (planes > kMaxPlanes ? kMaxPlanes : planes);
    const bool colourImage = imageMode == kModeRGB || imageMode == kModeRGB48;
    const std::int32_t corrected = colourImage ? 3 : 1;
    layout.colourPlanes = layout.planeCount < corrected ? layout.planeCount : corrected;
    layout.code = PixelLayout(imageMode, planes);
    layout.channels = AssignChannels(layout.code, layout.planeCount);
    return layout;
}

bool PlanesFitJob(const RenderJob& job, std::span<const PlaneView> planes) {
    if (planes.size() < static_cast<std::size_t>(job.layout.planeCount)) return false;
    for (std::int32_t p = 0; p < job.layout.planeCount; ++p) {
        const PlaneView& plane = planes[static_cast<std::size_t>(p)];
        if (plane.data == nullptr || plane.width != job.width || plane.height != job.height || plane.stride < plane.width)
            return false;
    }
    return true;
}

std::int32_t KernelDiameter(std::int32_t amount, double scale) {
    // A negative amount (possible only through scripting) blurs as little as amount 0.
    const double diameter = 2.0 * (amount < 0 ? 0 : amount) + 1.0;
    auto scaled = static_cast<std::int32_t>(diameter * scale + 0.5);
    if (scaled % 2 == 0) scaled += 1;
    return scaled;
}

Result Render(const RenderJob& job, std::span<const PlaneView> planes, const float* weights,
              CheckPoints& checkPoints) {
    if (planes.size() > static_cast<std::size_t>(kMaxPlanes)) return kBadMode;
    if (job.width <= 0 || job.height <= 0) return kOk;
    if (planes.size() != static_cast<std::size_t>(job.layout.planeCount) || !PlanesFitJob(job, planes))
        return kBadParameters;

    HighlightCorrection correction;
    if (job.layout.colourPlanes > 0) {
        if (Result r = correction.Prepare(job.settings, BytesPerSampleOfMode(job.layout.imageMode)); !r.ok()) return r;
    }
    if (Result r = CorrectColourPlanes(job, planes, correction, Direction::Forward, checkPoints); !r.ok()) return r;
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    if (const SpreadMethod method = MethodFor(job.settings.method); method != nullptr) {
        if (Result r = method(job, planes, weights, checkPoints); !r.ok()) return r;
    }
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    if (Result r = CorrectColourPlanes(job, planes, correction, Direction::Inverse, checkPoints); !r.ok()) return r;
    // Every value handed back is finite, whatever made the planes. NaN and -infinity stand for tones
    // pushed below black (the inverse gamma of a negative value, the logarithm of 0 or less, 0/0 where
    // weights vanished or sums overflowed): they become 0, black, which is also what the write-back makes
    // of any value below black. +infinity, a tone beyond any white (a correction that overflowed),
    // becomes 1. The colour planes were made finite by the inverse.
    for (std::size_t p = static_cast<std::size_t>(job.layout.colourPlanes); p < planes.size(); ++p)
        ForEachRow(job, planes[p], [&](float* row) { MakeFinite(row, planes[p].width); });
    return kOk;
}

}  // namespace aperlume
