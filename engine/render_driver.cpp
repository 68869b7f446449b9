// The render driver: one lens-blur render of renderRect. The highlight correction around the spread
// weights bright pixels far more than dark ones, so that bright points bloom into visible aperture
// shapes; its inverse afterwards brings the tones back.
#include "engine/render_driver.h"

#include <array>
#include <cmath>
#include <cstddef>

#include "engine/cancel_poll.h"
#include "engine/methods.h"
#include "host/image_exchange.h"
#include "host/preview_state.h"
#include "host/process_state.h"
#include "base/result.h"
#include "base/working_memory.h"

namespace aperlume {
namespace {

constexpr double kBrightnessScale = 0.1;

// The full frame width of the last full-size frame the host rendered; the one value kept between renders.
std::int32_t rememberedFullWidth = 0;

enum class Direction { Forward, Inverse };

void Correct(float* plane, std::size_t pixels, std::int16_t correction, double f, Direction direction) {
    if (correction == 0) {
        const double exponent = direction == Direction::Forward ? f : 1.0 / f;
        for (std::size_t i = 0; i < pixels; ++i) plane[i] = static_cast<float>(std::pow(plane[i], exponent));
    } else if (correction == 1) {
        if (direction == Direction::Forward) {
            for (std::size_t i = 0; i < pixels; ++i) plane[i] = static_cast<float>(std::pow(10.0, plane[i] * f));
        } else {
            for (std::size_t i = 0; i < pixels; ++i) plane[i] = static_cast<float>(std::log10(plane[i]) / f);
        }
    }
    // Any other correction value leaves the plane alone.
}

// The highlight correction as one matched pair: the inverse must use the same kind and strength as the
// forward pass, whatever a preview handler does to the block in between.
struct Correction {
    std::int16_t kind;  // 0 gamma, 1 logarithmic, others none
    double f;
};

// The correction of the colour planes, with the host's abort and the preview's check before each plane.
bool CorrectColourPlanes(PluginContext& context, float* const* planes, std::int32_t colourPlanes,
                         std::size_t pixels, const Correction& correction, Direction direction) {
    for (std::int32_t j = 0; j < colourPlanes; ++j) {
        if (HostAbortRequested(context) || CheckPreviewAbort()) {
            SetResult(context, kUserCanceled);
            return false;
        }
        // A brightness of 0 (or below) could come only from scripting; with it the gamma pair would turn
        // every value into 1 and back through an infinite power, so no correction is made.
        if (correction.f > 0.0) Correct(planes[j], pixels, correction.kind, correction.f, direction);
    }
    return true;
}

bool PreviewInterrupted(PluginContext& context) {
    if (!CheckPreviewAbort()) return false;
    SetResult(context, kUserCanceled);
    return true;
}

}  // namespace

double HostRenderScale(const PluginContext& context) {
    const std::int32_t width = context.filterRecord->wholeSize.h;
    const std::int32_t full = rememberedFullWidth;
    if (width == full) return 1.0;
    // The quarter test comes first: for a full width of 1 or 2 both would match.
    if (width == static_cast<std::int32_t>(std::ceil(full * 0.25))) return 0.25;
    if (width == static_cast<std::int32_t>(std::ceil(full * 0.5))) return 0.5;
    rememberedFullWidth = width;
    return 1.0;
}

int KernelDiameter(int amount, double scale) {
    // A negative amount (possible only through scripting) blurs as little as amount 0.
    const double diameter = 2.0 * (amount < 0 ? 0 : amount) + 1.0;
    auto scaled = static_cast<int>(diameter * scale + 0.5);
    if (scaled % 2 == 0) scaled += 1;
    return scaled;
}

void RenderLensBlur(PluginContext& context, bool reportProgress) {
    FilterRecord* record = context.filterRecord;
    if (record == nullptr) {
        SetResult(context, kBadParameters);
        return;
    }
    const int bytesPerSample = BytesPerSample(*record);
    FixColumnBytes(*record);

    SetResult(context, kNoError);
    if (PreviewInterrupted(context)) return;
    const FilterParameters* settings = Parameters(context);
    if (settings == nullptr) {
        SetResult(context, kBadParameters);
        return;
    }
    // Eight plane buffers are all the engine has; a host that counts more gets the mode refused before
    // any memory is taken.
    const Correction correction{settings->correction, settings->brightness * kBrightnessScale};
    const std::int32_t planeCount = record->planes;
    if (planeCount < 0 || planeCount > kMaxPlanes) {
        SetResult(context, kBadMode);
        return;
    }

    const Rect area = context.renderRect;
    const std::int32_t width = area.right - area.left;
    const std::int32_t height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;

    const double scale = GetHostKind() == HostAfterEffects ? HostRenderScale(context) : 1.0;
    const int diameter = KernelDiameter(settings->amount, scale);

    std::size_t pixels = 0;
    if (!CheckedMultiply(static_cast<std::size_t>(width), static_cast<std::size_t>(height), pixels)) {
        SetResult(context, kOutOfMemory);
        return;
    }
    std::array<Buffer<float>, kMaxPlanes> owners;
    float* planes[kMaxPlanes] = {};
    for (std::int32_t p = 0; p < planeCount; ++p) {
        owners[p] = AllocateBuffer<float>(pixels);
        if (owners[p] == nullptr) {
            SetResult(context, kOutOfMemory);
            return;
        }
        planes[p] = owners[p].get();
    }
    Buffer<float> weights;
    if (DepthMapInForce(*settings) || record->haveMask != 0) {
        weights = AllocateBuffer<float>(pixels);
        if (weights == nullptr) {
            SetResult(context, kOutOfMemory);
            return;
        }
    }
    if (PreviewInterrupted(context)) return;

    ReadPlanes(context, bytesPerSample, planeCount, planes, weights.get());

    const bool colourImage = record->imageMode == kModeRGB || record->imageMode == kModeRGB48;
    const std::int32_t colourPlanes = colourImage ? (planeCount < 3 ? planeCount : 3) : (planeCount < 1 ? 0 : 1);
    if (!CorrectColourPlanes(context, planes, colourPlanes, pixels, correction, Direction::Forward)) return;
    if (PreviewInterrupted(context)) return;

    // The method reads the block itself; `settings` may have moved if a preview handler ran meanwhile.
    settings = Parameters(context);
    switch (settings != nullptr ? settings->method : -1) {
        case 0:
            DirectConvolve(context, diameter, width, height, reportProgress, planes, weights.get());
            break;
        case 1:
            MonteCarloConvolve(context, diameter, width, height, reportProgress, planes);
            break;
        case 2:
            FftConvolve(context, diameter, width, height, reportProgress, planes);
            break;
        default:
            break;  // no spreading at all
    }
    if (ResultWord(context) != kNoError) return;
    if (PreviewInterrupted(context)) return;

    if (!CorrectColourPlanes(context, planes, colourPlanes, pixels, correction, Direction::Inverse)) return;
    WritePlanes(context, bytesPerSample, planeCount, planes, weights.get());
}

}  // namespace aperlume
