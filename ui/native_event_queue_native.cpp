// The native event queue: a fixed ring of events and one handler per window.
#include "ui/native_event_queue.h"

#include "ui/dialog_ids.h"

namespace aperlume {
namespace {

constexpr std::size_t kCapacity = 1024;
constexpr std::uint32_t kWindows = 8;

// The stand-in for the thread's message queue, which the window system keeps per thread: process-wide
// here, since the native dialog and the tests run on one thread.
NativeEvent queue[kCapacity];
std::size_t head = 0;   // index of the oldest event
std::size_t count = 0;

struct Registration {
    NativeEventHandler handler;
    void* data;
};
Registration handlers[kWindows];

NativeEvent& At(std::size_t i) { return queue[(head + i) % kCapacity]; }

void RemoveAt(std::size_t index) {
    for (std::size_t i = index; i + 1 < count; ++i) At(i) = At(i + 1);
    --count;
}

void RemoveWindowEvents(std::uint32_t window) {
    for (std::size_t i = 0; i < count;) {
        if (At(i).window == window)
            RemoveAt(i);
        else
            ++i;
    }
}

bool InRange(std::uint32_t message, std::uint32_t first, std::uint32_t last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

}  // namespace

void SetNativeEventHandler(std::uint32_t window, NativeEventHandler handler, void* data) {
    if (window >= kWindows) return;
    handlers[window] = Registration{handler, data};
    if (handler == nullptr) RemoveWindowEvents(window);
}

bool PostNativeEvent(const NativeEvent& event) {
    if (event.window >= kWindows || handlers[event.window].handler == nullptr || count == kCapacity) return false;
    queue[(head + count) % kCapacity] = event;
    ++count;
    return true;
}

bool PeekNativeEvent(NativeEvent& event, std::uint32_t first, std::uint32_t last, bool remove) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!InRange(At(i).message, first, last)) continue;
        event = At(i);
        if (remove) {
            if (i == 0) {
                head = (head + 1) % kCapacity;
                --count;
            } else {
                RemoveAt(i);
            }
        }
        return true;
    }
    return false;
}

bool DispatchNativeEvent(const NativeEvent& event) {
    if (event.window >= kWindows) return false;
    const Registration r = handlers[event.window];
    return r.handler != nullptr && r.handler(event, r.data);
}

std::size_t PendingNativeEvents() { return count; }

void ClearNativeEvents() {
    head = 0;
    count = 0;
}

PumpStep PumpNativeEvent() {
    NativeEvent event{};
    if (!PeekNativeEvent(event, 0, 0, true)) return PumpStep::QueueEmpty;
    if (event.message == kCloseRequest) {
        // The dialog must not close under the render: drop the render requests, which the closing
        // makes pointless, and hand the close request back for when the render has returned.
        NativeEvent dropped{};
        while (PeekNativeEvent(dropped, kFullRenderRequest, kQuickRenderRequest, true)) {
        }
        PostNativeEvent(event);
        return PumpStep::CloseRequest;
    }
    DispatchNativeEvent(event);
    return PumpStep::Dispatched;
}

}  // namespace aperlume
