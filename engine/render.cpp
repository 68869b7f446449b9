// One render: the highlight correction around the spread weights bright pixels far more than dark
// ones, so that bright points bloom into visible aperture shapes; its inverse afterwards brings the
// tones back.
#include "engine/render.h"

#include <cmath>

#include "base/image_modes.h"
#include "engine/methods.h"

namespace aperlume {
namespace {

constexpr double kBrightnessScale = 0.1;

enum class Direction { Forward, Inverse };

void Correct(float* row, std::int32_t count, std::int16_t correction, double f, Direction direction) {
    if (correction == 0) {
        const double exponent = direction == Direction::Forward ? f : 1.0 / f;
        for (std::int32_t i = 0; i < count; ++i) row[i] = static_cast<float>(std::pow(row[i], exponent));
    } else if (correction == 1) {
        if (direction == Direction::Forward) {
            for (std::int32_t i = 0; i < count; ++i) row[i] = static_cast<float>(std::pow(10.0, row[i] * f));
        } else {
            for (std::int32_t i = 0; i < count; ++i) row[i] = static_cast<float>(std::log10(row[i]) / f);
        }
    }
    // Any other correction value leaves the plane alone.
}

// The correction of the colour planes, with the host's abort and then the preview's check before each
// plane.
Result CorrectColourPlanes(const RenderJob& job, std::span<const PlaneView> planes, Direction direction,
                           CheckPoints& checkPoints) {
    const double f = job.settings.brightness * kBrightnessScale;
    for (std::int32_t j = 0; j < job.layout.colourPlanes; ++j) {
        if (checkPoints.HostAborted() || checkPoints.PreviewInterrupted()) return kUserCanceled;
        // A brightness of 0 (or below) could come only from scripting; with it the gamma pair would turn
        // every value into 1 and back through an infinite power, so no correction is made.
        if (!(f > 0.0)) continue;
        const PlaneView& plane = planes[static_cast<std::size_t>(j)];
        for (std::int32_t y = 0; y < plane.height; ++y)
            Correct(plane.Row(y), plane.width, job.settings.correction, f, direction);
    }
    return kOk;
}

// Every value handed back is finite, whatever made the planes. NaN and -infinity stand for tones pushed
// below black (the inverse gamma of a negative value, the logarithm of 0 or less, 0/0 where weights
// vanished or sums overflowed): they become 0, black, which is also what the write-back makes of any
// value below black. +infinity, a tone beyond any white (a correction that overflowed), becomes 1.
void ReplaceNonFinite(const PlaneView& plane) {
    for (std::int32_t y = 0; y < plane.height; ++y) {
        float* row = plane.Row(y);
        for (std::int32_t x = 0; x < plane.width; ++x) {
            if (!std::isfinite(row[x])) row[x] = row[x] > 0.0f ? 1.0f : 0.0f;
        }
    }
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

    if (Result r = CorrectColourPlanes(job, planes, Direction::Forward, checkPoints); !r.ok()) return r;
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    if (const SpreadMethod method = MethodFor(job.settings.method); method != nullptr) {
        if (Result r = method(job, planes, weights, checkPoints); !r.ok()) return r;
    }
    if (checkPoints.PreviewInterrupted()) return kUserCanceled;
    if (Result r = CorrectColourPlanes(job, planes, Direction::Inverse, checkPoints); !r.ok()) return r;
    for (const PlaneView& plane : planes) ReplaceNonFinite(plane);
    return kOk;
}

}  // namespace aperlume
