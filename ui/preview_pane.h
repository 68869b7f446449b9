// The preview pane's behaviour: render requests and their coalescing through the preview state, the
// refresh that runs a preview render, the mouse (drag to pan with quick renders, press to stop a running
// render, release to ask for a full one), and the pixel map handed to the host for painting.
//
// The window system is reached through PreviewTarget; the state machine is the process-wide
// PreviewState, so handlers dispatched from inside a running render (through CheckPreviewAbort) only set
// a stop state and never start a second full render.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "host/host_records.h"
#include "ui/preview_session.h"

namespace aperlume {

// What the pane needs of the window system.
class PreviewTarget {
public:
    // Queues kFullRenderRequest or kQuickRenderRequest to the dialog.
    virtual void PostRenderRequest(std::uint32_t message) = 0;
    // Marks the pane's whole rectangle for repainting, without erasing the background.
    virtual void InvalidatePane() = 0;

protected:
    ~PreviewTarget() = default;
};

// After a change of a setting (or the button's release in the pane): idle -> queue a full render;
// rendering -> the running render stops and a full one follows; otherwise nothing.
void RequestPreview(PreviewTarget& target);

// Runs one preview render (full flag: low 8 bits) and queues the follow-up that a handler asked for
// while it ran; the state is Idle afterwards. Returns the render's outcome (RenderPreview).
[[nodiscard]] Result RefreshPreview(std::int32_t full, PreviewSession& session, PreviewTarget& target);

// A render request taken from the queue (duplicates already removed). A request found while a render is
// on the stack is dropped: that render started after the request was queued and shows what it asked for.
// Returns the render's outcome (kOk when dropped).
[[nodiscard]] Result HandleRenderRequest(std::uint32_t message, PreviewSession& session, PreviewTarget& target);

// The pane's mouse, in the pane's 16-bit client coordinates. The platform sets the cursor and the
// mouse capture itself.
void PaneButtonDown(std::int16_t x, std::int16_t y);
void PaneMouseMove(std::int16_t x, std::int16_t y, PreviewSession& session, PreviewTarget& target);
void PaneButtonUp(PreviewTarget& target);
bool PaneDragging();
// Forgets a drag (a new dialog starts without one).
void ResetPaneState();

// The pixel map of the session's pane pixels for displayPixels (version 1), with the mask to show linked
// into `mask` and the map when the image has one. False when there is nothing to paint.
bool BuildPreviewPixelMap(const PreviewSession& session, PSPixelMap& map, PSPixelMask& mask);

// The gray of thumbnail pixel (row, column): the low 8 bits of trunc(weight * 255).
std::uint8_t ThumbGray(const PreviewSession& session, std::int32_t row, std::int32_t column);

// Where the thumbnail's top-left pixel is drawn, relative to the pane's top-left corner.
inline constexpr std::int32_t kThumbOffsetX = 200;
inline constexpr std::int32_t kThumbOffsetY = 55;

}  // namespace aperlume
