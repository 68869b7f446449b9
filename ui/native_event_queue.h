// The native build's event queue: the same contract as the thread's message queue on Windows, so the
// preview's re-entrance (a render that dispatches events from its check points and unwinds with the
// cancel code) runs and is tested natively. Events are posted to a window number, taken in order (all,
// or those in a message range), and dispatched to the handler registered for their window. A window
// without a handler receives nothing: its pending events are discarded, as those of a destroyed window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ui/preview_state.h"

namespace aperlume {

// The native dialog's two windows.
inline constexpr std::uint32_t kNativeDialogWindow = 1;
inline constexpr std::uint32_t kNativePaneWindow = 2;

// Window system event numbers used natively besides those of ui/dialog_ids.h.
inline constexpr std::uint32_t kPaintEvent = 0x000F;
inline constexpr std::uint32_t kCommandEvent = 0x0111;  // wParam: control id | notification code << 16
inline constexpr std::uint32_t kScrollEvent = 0x0114;   // lParam: the slider's control id
inline constexpr std::uint32_t kMouseMoveEvent = 0x0200;
inline constexpr std::uint32_t kButtonDownEvent = 0x0201;
inline constexpr std::uint32_t kButtonUpEvent = 0x0202;  // lParam of mouse events: x | y << 16
inline constexpr std::uint32_t kUserActionEvent = 0x9000;  // a scripted user action (wParam: its index)

struct NativeEvent {
    std::uint32_t window;
    std::uint32_t message;
    std::uint64_t wParam;
    std::int64_t lParam;
};

// Returns whether the event was handled.
using NativeEventHandler = bool (*)(const NativeEvent& event, void* data);

// Registers (or, with a null handler, removes) a window's handler; removal discards its pending events.
void SetNativeEventHandler(std::uint32_t window, NativeEventHandler handler, void* data);

// False when the window has no handler or the queue is full.
bool PostNativeEvent(const NativeEvent& event);

// The oldest pending event whose message lies in first..last (0, 0: any); removed when `remove`.
bool PeekNativeEvent(NativeEvent& event, std::uint32_t first, std::uint32_t last, bool remove);

// Hands the event to its window's handler at once; false when unhandled or there is none.
bool DispatchNativeEvent(const NativeEvent& event);

std::size_t PendingNativeEvents();
void ClearNativeEvents();

// One step of the preview's event pump: take the next event; a close request drops every pending render
// request and is queued again; anything else is dispatched.
PumpStep PumpNativeEvent();

inline std::uint64_t CommandParameter(std::int16_t id, std::int32_t code) {
    return static_cast<std::uint16_t>(id) | (static_cast<std::uint64_t>(static_cast<std::uint16_t>(code)) << 16);
}
inline std::int64_t PointParameter(std::int16_t x, std::int16_t y) {
    return static_cast<std::uint16_t>(x) | (static_cast<std::int64_t>(static_cast<std::uint16_t>(y)) << 16);
}

}  // namespace aperlume
