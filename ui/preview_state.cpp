// The preview state machine's storage and the interruption check of the preview's check points.
#include "ui/preview_state.h"

namespace aperlume {
namespace {

// Process-wide because the handlers that change them run nested inside a render, dispatched from the
// window system's event queue, with no way to hand them the render's own state; one dialog (and one
// render) exists at a time.
PreviewState state = PreviewState::Idle;
EventPump pump = nullptr;

}  // namespace

PreviewState GetPreviewState() { return state; }
void SetPreviewState(PreviewState newState) { state = newState; }

bool IsStopState(PreviewState s) {
    return s == PreviewState::AbortRequested || s == PreviewState::RerenderRequested ||
           s == PreviewState::ZoomRerenderRequested;
}

void SetPreviewEventPump(EventPump newPump) { pump = newPump; }

bool CheckPreviewAbort() {
    // The final render outside the dialog never touches the event queue.
    if (state == PreviewState::Idle || pump == nullptr) return false;
    for (;;) {
        switch (pump()) {
            case PumpStep::QueueEmpty:
                return false;
            case PumpStep::CloseRequest:
                return true;
            case PumpStep::Dispatched:
                // A stop state set before this check began is seen only after the next dispatched event.
                if (IsStopState(state)) return true;
                break;
        }
    }
}

}  // namespace aperlume
