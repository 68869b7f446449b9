// The native event queue and the preview's pump over it: order, range removal, handlers, and the
// interruption check's contract (idle leaves events alone; a close request drops render requests).
#include "ui/native_event_queue.h"

#include <gtest/gtest.h>

#include <vector>

#include "ui/preview_state.h"
#include "ui/dialog_ids.h"

namespace aperlume {
namespace {

std::vector<std::uint32_t> seen;
PreviewState stateAfterDispatch = PreviewState::Rendering;

bool Record(const NativeEvent& event, void*) {
    seen.push_back(event.message);
    SetPreviewState(stateAfterDispatch);
    return true;
}

class EventQueue : public ::testing::Test {
protected:
    EventQueue() {
        ClearNativeEvents();
        seen.clear();
        stateAfterDispatch = PreviewState::Rendering;
        SetNativeEventHandler(kNativeDialogWindow, &Record, nullptr);
        SetPreviewEventPump(&PumpNativeEvent);
    }
    ~EventQueue() override {
        SetNativeEventHandler(kNativeDialogWindow, nullptr, nullptr);
        SetPreviewEventPump(nullptr);
        SetPreviewState(PreviewState::Idle);
        ClearNativeEvents();
    }
    static void Post(std::uint32_t message, std::uint32_t window = kNativeDialogWindow) {
        PostNativeEvent(NativeEvent{window, message, 0, 0});
    }
};

TEST_F(EventQueue, EventsComeInOrderAndCanBeTakenByRange) {
    for (std::uint32_t m : {kCommandEvent, kFullRenderRequest, kScrollEvent, kQuickRenderRequest, kFullRenderRequest})
        Post(m);
    NativeEvent e{};
    ASSERT_TRUE(PeekNativeEvent(e, kFullRenderRequest, kQuickRenderRequest, false));
    EXPECT_EQ(e.message, kFullRenderRequest);
    EXPECT_EQ(PendingNativeEvents(), 5u);
    ASSERT_TRUE(PeekNativeEvent(e, kQuickRenderRequest, kQuickRenderRequest, true));
    std::vector<std::uint32_t> rest;
    while (PeekNativeEvent(e, 0, 0, true)) rest.push_back(e.message);
    EXPECT_EQ(rest, (std::vector<std::uint32_t>{kCommandEvent, kFullRenderRequest, kScrollEvent, kFullRenderRequest}));
}

TEST_F(EventQueue, AWindowWithoutHandlerGetsNothingAndLosesWhatWasPending) {
    EXPECT_FALSE(PostNativeEvent(NativeEvent{kNativePaneWindow, kPaintEvent, 0, 0}));
    Post(kCommandEvent);
    SetNativeEventHandler(kNativeDialogWindow, nullptr, nullptr);
    EXPECT_EQ(PendingNativeEvents(), 0u);
    EXPECT_FALSE(DispatchNativeEvent(NativeEvent{kNativeDialogWindow, kCommandEvent, 0, 0}));
}

TEST_F(EventQueue, TheCheckLeavesEventsAloneWhileIdleAndStopsAfterADispatchThatSetAStopState) {
    Post(kScrollEvent);
    SetPreviewState(PreviewState::Idle);
    EXPECT_FALSE(CheckPreviewAbort());
    EXPECT_EQ(PendingNativeEvents(), 1u);

    SetPreviewState(PreviewState::Rendering);
    ClearNativeEvents();
    EXPECT_FALSE(CheckPreviewAbort());  // empty queue: no

    // Events that leave the render alone are all dispatched; the answer is no.
    Post(kPaintEvent);
    Post(kCommandEvent);
    EXPECT_FALSE(CheckPreviewAbort());
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{kPaintEvent, kCommandEvent}));

    // A handler that asks for a rerender stops the check at once; later events wait.
    seen.clear();
    stateAfterDispatch = PreviewState::RerenderRequested;
    Post(kScrollEvent);
    Post(kCommandEvent);
    EXPECT_TRUE(CheckPreviewAbort());
    EXPECT_EQ(seen, std::vector<std::uint32_t>{kScrollEvent});
    EXPECT_EQ(PendingNativeEvents(), 1u);
}

TEST_F(EventQueue, ACloseRequestDropsRenderRequestsAndIsQueuedAgain) {
    SetPreviewState(PreviewState::Rendering);
    Post(kCloseRequest);
    Post(kFullRenderRequest);
    Post(kCommandEvent);
    Post(kQuickRenderRequest);
    EXPECT_TRUE(CheckPreviewAbort());
    EXPECT_TRUE(seen.empty());
    NativeEvent e{};
    std::vector<std::uint32_t> rest;
    while (PeekNativeEvent(e, 0, 0, true)) rest.push_back(e.message);
    EXPECT_EQ(rest, (std::vector<std::uint32_t>{kCommandEvent, kCloseRequest}));
}

}  // namespace
}  // namespace aperlume
