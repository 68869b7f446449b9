// The preview's view arithmetic: zoom scale, the view rectangle in image coordinates, and panning.
//
// The pane is W x H pixels (the width and height of the context's previewRect); the zoom step gives s
// image pixels per pane pixel: s = step for a positive step, 1 / (2 - step) otherwise. When the view is
// larger than the image in a direction, the image is centred in it there (negative top or left).
#pragma once

#include <cstdint>

#include "host/plugin_context.h"

namespace aperlume {

inline constexpr std::int16_t kMinimumZoomStep = -10;

double ZoomScale(const PluginContext& context);
double ZoomScaleOfStep(std::int32_t zoomStep);

// The percentage the zoom label shows: trunc(100 / s + 0.5).
std::int32_t ZoomPercent(std::int32_t zoomStep);

// The view in image coordinates, at full 32-bit range (large zoom-out steps exceed 16 bits).
struct ViewBounds {
    std::int32_t top;
    std::int32_t left;
    std::int32_t bottom;
    std::int32_t right;
};
ViewBounds ComputeViewBounds(const PluginContext& context);

// The same as a host rectangle; values beyond the 16-bit range are saturated.
Rect ComputeViewRect(const PluginContext& context);

// Moves the view centre against the mouse movement (the image follows the mouse), kept so that the view
// stays within the image; a direction in which the view is larger than the image stays centred.
void PanView(PluginContext& context, std::int32_t dx, std::int32_t dy);

}  // namespace aperlume
