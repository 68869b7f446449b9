// The preview's data work: the whole image fetched when the dialog opens, and the preview render that
// fills the session's buffers for the pane.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "ui/preview_session.h"

namespace aperlume {

// Requests the whole image (and, first, its transparency plane into the session's transparency buffer),
// sets the view centre to the middle of filterRect and the zoom step to 1. Returns advanceState's
// result, or kHostInsufficient when either fetch did not deliver what was asked (AdvanceState); kOk for a
// host without advanceState: nothing is fetched then.
[[nodiscard]] Result SetupPreview(PreviewSession& session);

// Fills the pane's pixels and mask and rebuilds the thumbnail. Quick (full flag 0) shows the unfiltered
// input; full first renders the visible part of the filter rectangle into the host's output buffer and
// shows that, falling back to the input when the render fails or is stopped, whose code it returns.
// Only the flag's low 8 bits count. Does nothing (and succeeds) without the buffers; shows nothing and
// returns kHostInsufficient (unless the render failed first) when the whole image is not delivered.
[[nodiscard]] Result RenderPreview(PreviewSession& session, std::int32_t full);

}  // namespace aperlume
