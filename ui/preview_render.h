// The preview's data: the whole image fetched when the dialog opens, the four preview buffers of the
// context, and the preview render that fills them for the pane.
//
// previewPixels holds rows of W pixels (W x H = the pane, from previewRect), P bytes each: `planes` 8-bit
// samples, plus the transparency byte when the host supplies transparency beside the colour planes.
// previewMask holds one byte per pane pixel. apertureThumb is the 65 x 65 aperture shape.
#pragma once

#include <cstdint>

#include "host/plugin_context.h"

namespace aperlume {

inline constexpr std::int32_t kThumbSize = 65;

// Requests the whole image (and, first, its transparency plane into transparencyPlane), sets the view
// centre to the middle of filterRect and the zoom step to 1. advanceState's result goes to the result
// word.
void SetupPreview(PluginContext& context);

// Allocates each preview buffer that is not allocated yet; all sizes are overflow-checked. Returns false
// (and leaves every buffer released) when one of them cannot be had: the dialog then works without a
// preview.
[[nodiscard]] bool AllocatePreviewBuffers(PluginContext& context);

// Releases every allocated preview buffer and clears the four references.
void FreePreviewBuffers(PluginContext& context);

// True while the four buffers the preview needs are present.
bool PreviewBuffersReady(const PluginContext& context);

// Fills previewPixels and previewMask for the whole pane and rebuilds apertureThumb. Quick (full flag 0)
// shows the unfiltered input; full first renders the visible part of the filter rectangle into the
// host's output buffer and shows that, falling back to the input when the render ends with a non-zero
// result word (which it keeps). Only the flag's low 8 bits count. Does nothing without the buffers.
void RenderPreview(PluginContext& context, std::int32_t full);

}  // namespace aperlume
