// The preview render state and the check by which long preview renders stay interruptible.
//
// The preview's check points (ui/preview_check_points.h) call CheckPreviewAbort. While a preview renders,
// the check hands the user's pending events to the dialog through the platform's event pump; the
// handlers it runs may set a stop state, and the render then unwinds with the cancel code. Outside a
// preview render the state is Idle and the check costs one comparison.
#pragma once

#include <cstdint>

namespace aperlume {

enum class PreviewState : std::int32_t {
    Idle = 0,
    AbortRequested = 1,
    RerenderRequested = 2,
    ZoomRerenderRequested = 3,
    Rendering = 4,
};

PreviewState GetPreviewState();
void SetPreviewState(PreviewState state);
bool IsStopState(PreviewState state);

// What one step of the event pump did.
enum class PumpStep {
    QueueEmpty,    // no pending event
    CloseRequest,  // a close request: pending render requests dropped, the close request queued again
    Dispatched,    // an event was translated and dispatched to its handler
};
using EventPump = PumpStep (*)();

// The user interface installs its pump while the dialog is open (null: no events to take).
void SetPreviewEventPump(EventPump pump);

// True when the running preview render is to stop.
bool CheckPreviewAbort();

}  // namespace aperlume
