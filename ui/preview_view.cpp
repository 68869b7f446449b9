// Zoom, view rectangle and panning of the preview pane.
#include "ui/preview_view.h"

#include <cmath>

namespace aperlume {
namespace {

std::int32_t PaneWidth(const PluginContext& context) {
    return static_cast<std::int32_t>(context.previewRect.right) - context.previewRect.left;
}
std::int32_t PaneHeight(const PluginContext& context) {
    return static_cast<std::int32_t>(context.previewRect.bottom) - context.previewRect.top;
}

std::int16_t Saturate16(std::int64_t v) {
    if (v > INT16_MAX) return INT16_MAX;
    if (v < INT16_MIN) return INT16_MIN;
    return static_cast<std::int16_t>(v);
}

// One direction of the view: `extent` view pixels of the image's `size`, around `center`.
void ViewSpan(double scale, std::int32_t paneExtent, std::int32_t size, double center, std::int32_t& low,
              std::int32_t& high) {
    const double span = std::ceil(scale * paneExtent);
    const std::int64_t extent = span > 1e9 ? static_cast<std::int64_t>(1e9) : static_cast<std::int64_t>(span);
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    if (extent > size) {
        // The image is centred in a view larger than itself (division truncating toward zero).
        lo = (static_cast<std::int64_t>(size) - extent) / 2;
        hi = lo + extent;
    } else {
        lo = static_cast<std::int64_t>(std::floor(center - static_cast<double>(extent / 2) + 0.5));
        hi = lo + extent;
        if (lo < 0) {
            lo = 0;
            hi = extent;
        }
        if (hi > size) {
            hi = size;
            lo = size - extent;
        }
    }
    low = static_cast<std::int32_t>(lo);
    high = static_cast<std::int32_t>(hi);
}

void PanSpan(double scale, std::int32_t paneExtent, std::int32_t size, std::int32_t delta, double& center) {
    const double view = scale * paneExtent;
    if (view > size) {
        center = static_cast<double>(size / 2);
        return;
    }
    center -= scale * delta;
    const double lowest = std::trunc(0.5 * view);
    const double highest = std::trunc(size - 0.5 * view);
    if (center < lowest) center = lowest;
    if (center > highest) center = highest;
}

}  // namespace

double ZoomScaleOfStep(std::int32_t zoomStep) {
    return zoomStep > 0 ? static_cast<double>(zoomStep) : 1.0 / (2.0 - zoomStep);
}

double ZoomScale(const PluginContext& context) { return ZoomScaleOfStep(context.zoomStep); }

std::int32_t ZoomPercent(std::int32_t zoomStep) {
    return static_cast<std::int32_t>(100.0 / ZoomScaleOfStep(zoomStep) + 0.5);
}

ViewBounds ComputeViewBounds(const PluginContext& context) {
    const FilterRecord& record = *context.filterRecord;
    const double s = ZoomScale(context);
    ViewBounds view{};
    ViewSpan(s, PaneHeight(context), record.imageSize.v, context.viewCenterV, view.top, view.bottom);
    ViewSpan(s, PaneWidth(context), record.imageSize.h, context.viewCenterH, view.left, view.right);
    return view;
}

Rect ComputeViewRect(const PluginContext& context) {
    const ViewBounds view = ComputeViewBounds(context);
    return Rect{Saturate16(view.top), Saturate16(view.left), Saturate16(view.bottom), Saturate16(view.right)};
}

void PanView(PluginContext& context, std::int32_t dx, std::int32_t dy) {
    const FilterRecord& record = *context.filterRecord;
    const double s = ZoomScale(context);
    PanSpan(s, PaneHeight(context), record.imageSize.v, dy, context.viewCenterV);
    PanSpan(s, PaneWidth(context), record.imageSize.h, dx, context.viewCenterH);
}

}  // namespace aperlume
