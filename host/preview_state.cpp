// The preview state machine's storage and the interruption check of the render code.
#include "host/preview_state.h"

namespace aperlume {
namespace {

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
