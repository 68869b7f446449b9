// The main dialog's rules on the native controls (slider pairs, number boxes, check boxes, radio groups,
// enabling, zoom, the ends of the dialog), its texts, and whole dialogs run by ShowMainDialog with a
// scripted user, including events that arrive while a full preview render runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ui/preview_state.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "tests/support/linked_host.h"
#include "tests/ui/preview_fixture.h"
#include "ui/dialog_ids.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_model.h"
#include "ui/native_dialog.h"

namespace aperlume {
namespace {

using testing::PreviewFixture;

std::vector<NativeEvent> TakeEvents() {
    std::vector<NativeEvent> events;
    NativeEvent e{};
    while (PeekNativeEvent(e, 0, 0, true)) events.push_back(e);
    return events;
}

std::int32_t Count(const std::vector<NativeEvent>& events, std::uint32_t message) {
    std::int32_t n = 0;
    for (const NativeEvent& e : events) n += e.message == message ? 1 : 0;
    return n;
}

std::uint32_t BrightPoints(std::int32_t row, std::int32_t column, std::int32_t) {
    return (row % 12 == 6 && column % 12 == 6) ? 255u : 30u;
}

// A dialog opened on the native controls, with its events left in the queue for the test.
class Dialog : public ::testing::Test {
protected:
    Dialog() : f_(60, 50, 3, kModeRGB), dialog_(f_.context), model_(f_.context, dialog_) {
        SetPreviewState(PreviewState::Idle);
        ClearNativeEvents();
        f_.Fill(&BrightPoints);
        dialog_.Connect(model_);
    }
    ~Dialog() override {
        static_cast<void>(model_.Finish());
        ClearNativeEvents();
    }
    void Open() {
        ASSERT_EQ(model_.Open(), kNoError);
        opening_ = TakeEvents();
    }
    std::string Text(std::int16_t id) const { return dialog_.Control(id)->text; }

    std::int64_t live_ = LiveAllocations();
    PreviewFixture f_;
    NativeDialog dialog_;
    MainDialogModel model_;
    std::vector<NativeEvent> opening_;
};

Boolean AlwaysAbort() { return 1; }

TEST_F(Dialog, OpeningWritesTheTextsAndClampsTheSlidersIntoTheirRanges) {
    FilterParameters& block = *f_.Block();
    block = FilterParameters{0, 0, 0, 0, 0, 0, 2, 77, 3, 5, 1, 0};
    // Every slider setting out of its range, below and above in turn.
    bool below = true;
    for (const Setting& setting : kSettings) {
        if (setting.dialog.slider == 0) continue;
        block.*setting.field = static_cast<std::int16_t>(below ? setting.range.minimum - 7 : setting.range.maximum + 7);
        below = !below;
    }
    const FilterParameters opened = block;
    Open();
    EXPECT_STREQ(dialog_.Caption(), "Aperlume 0.13.5");
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE(setting.option);
        const SettingControls& c = setting.dialog;
        if (c.label != 0) {
            EXPECT_EQ(Text(c.label), setting.name);
        }
        if (c.check != 0) {
            EXPECT_EQ(Text(c.check), c.checkText);
        }
        for (const Enumerator& e : setting.enumerators) EXPECT_EQ(Text(e.radio), e.label);
        if (c.slider == 0) continue;
        const std::int16_t clamped = std::clamp(opened.*setting.field, setting.range.minimum, setting.range.maximum);
        EXPECT_EQ(block.*setting.field, clamped);
        EXPECT_EQ(Text(c.edit), std::to_string(clamped));
    }
    EXPECT_EQ(dialog_.Control(kRatioEdit)->selectionStart, 0);
    EXPECT_EQ(dialog_.Control(kRatioEdit)->selectionEnd, static_cast<std::int32_t>(Text(kRatioEdit).size()))
        << "the whole text selected";
    EXPECT_EQ(block.soft, 2);  // check boxes read only zero or non-zero
    EXPECT_TRUE(dialog_.Control(kSoftCheck)->checked);
    EXPECT_EQ(block.method, 0);  // out of range: the first button
    EXPECT_TRUE(dialog_.Control(kNormalRadio)->checked);
    EXPECT_EQ(block.correction, 0);
    EXPECT_TRUE(dialog_.Control(kGammaRadio)->checked);
    EXPECT_FALSE(dialog_.Control(kLogarithmRadio)->checked);
    EXPECT_EQ(block.reserved, 77);
    // One quick render at once and exactly one full render queued; the number boxes' own change
    // notifications during opening requested nothing.
    EXPECT_EQ(dialog_.Record().paneInvalidations, 1);
    EXPECT_EQ(Count(opening_, kFullRenderRequest), 1);
    EXPECT_EQ(opening_.size(), 1u);
}

TEST_F(Dialog, TypedNumbersOutsideTheRangeAreIgnoredAndTheBoxKeepsThem) {
    Open();
    dialog_.Type(kAmountEdit, "2");
    EXPECT_EQ(f_.Block()->amount, 2);
    dialog_.Type(kAmountEdit, "25");
    EXPECT_EQ(f_.Block()->amount, 25);
    dialog_.Type(kAmountEdit, "250");
    EXPECT_EQ(f_.Block()->amount, 25);
    EXPECT_EQ(dialog_.Control(kAmountSlider)->position, 25);
    EXPECT_EQ(Text(kAmountEdit), "250");
    EXPECT_EQ(Count(TakeEvents(), kFullRenderRequest), 2);

    dialog_.Type(kVerticesEdit, "12abc");
    EXPECT_EQ(f_.Block()->vertices, 1);
    dialog_.Type(kVerticesEdit, "7x");
    EXPECT_EQ(f_.Block()->vertices, 7);
    EXPECT_EQ(dialog_.Control(kVerticesSlider)->position, 7);
    for (const char* ignored : {"", "-", "abc", "7"}) dialog_.Type(kVerticesEdit, ignored);
    EXPECT_EQ(f_.Block()->vertices, 7);
    EXPECT_EQ(Count(TakeEvents(), kFullRenderRequest), 1);

    dialog_.Type(kRatioEdit, " -100");
    EXPECT_EQ(f_.Block()->ratio, -100);
    dialog_.Type(kRatioEdit, "-101");
    EXPECT_EQ(f_.Block()->ratio, -100);
    dialog_.Type(kRotationEdit, "00003591");  // only the first seven characters count: 359
    EXPECT_EQ(f_.Block()->rotation, 359);
}

TEST(ReadLeadingInteger, ReadsAsAtoiDoes) {
    EXPECT_EQ(ReadLeadingInteger("  -12x"), -12);
    EXPECT_EQ(ReadLeadingInteger("+5"), 5);
    EXPECT_EQ(ReadLeadingInteger(""), 0);
    EXPECT_EQ(ReadLeadingInteger("-"), 0);
    EXPECT_EQ(ReadLeadingInteger("x12"), 0);
    EXPECT_EQ(ReadLeadingInteger("\t\n42"), 42);
    EXPECT_EQ(ReadLeadingInteger("- 3"), 0);
    EXPECT_EQ(ReadLeadingInteger("+-3"), 0);
}

class SliderMoves : public Dialog, public ::testing::WithParamInterface<bool> {};

TEST_P(SliderMoves, ShowTheNewPositionStoreItAndRequestOnePreviewPerChange) {
    dialog_.SetEditNotifications(GetParam());
    Open();
    dialog_.MoveSlider(kEdgeSlider, 40);
    EXPECT_EQ(f_.Block()->edge, 40);
    EXPECT_EQ(Text(kEdgeEdit), "40");
    EXPECT_EQ(dialog_.Control(kEdgeEdit)->selectionStart, 2);  // caret at the end
    EXPECT_EQ(dialog_.Control(kEdgeEdit)->selectionEnd, 2);
    dialog_.MoveSlider(kEdgeSlider, 40);  // a scroll event without a change
    dialog_.MoveSlider(kRotationSlider, 720);  // the control clamps to 359
    EXPECT_EQ(f_.Block()->rotation, 359);
    EXPECT_EQ(Text(kRotationEdit), "359");
    EXPECT_EQ(Count(TakeEvents(), kFullRenderRequest), 2);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutSynchronousEditNotification, SliderMoves, ::testing::Bool());

TEST_F(Dialog, DepthControlsAreOfferedOnlyWithTheDirectMethod) {
    f_.Block()->depth = 0;
    Open();
    auto enabled = [&](std::int16_t id) { return dialog_.Control(id)->enabled; };
    EXPECT_TRUE(enabled(kDepthGroup) && enabled(kDepthCheck));
    EXPECT_FALSE(enabled(kFocusLabel) || enabled(kFocusSlider) || enabled(kFocusEdit));
    dialog_.Click(kDepthCheck);
    EXPECT_EQ(f_.Block()->depth, 1);
    EXPECT_TRUE(enabled(kFocusLabel) && enabled(kFocusSlider) && enabled(kFocusEdit));
    for (std::int16_t radio : {kMonteCarloRadio, kFftRadio}) {
        dialog_.Click(radio);
        EXPECT_FALSE(enabled(kDepthGroup) || enabled(kDepthCheck) || enabled(kFocusSlider));
        EXPECT_TRUE(dialog_.Control(kDepthCheck)->checked);
        EXPECT_EQ(f_.Block()->depth, 1);
    }
    dialog_.Click(kNormalRadio);
    EXPECT_EQ(f_.Block()->method, 0);
    EXPECT_TRUE(enabled(kDepthCheck) && enabled(kFocusSlider));
    dialog_.Click(kDepthCheck);
    EXPECT_EQ(f_.Block()->depth, 0);
    EXPECT_FALSE(enabled(kFocusSlider));
    EXPECT_TRUE(enabled(kDepthCheck));
}

TEST_F(Dialog, RadioClicksStoreTheButtonIndexAndAlwaysRequest) {
    Open();
    dialog_.Click(kFftRadio);
    dialog_.Click(kFftRadio);
    EXPECT_EQ(f_.Block()->method, 2);
    dialog_.Click(kLogarithmRadio);
    EXPECT_EQ(f_.Block()->correction, 1);
    EXPECT_FALSE(dialog_.Control(kGammaRadio)->checked);
    // Only the click notification counts for radio buttons.
    EXPECT_FALSE(model_.OnCommand(kGammaRadio, 5));
    EXPECT_EQ(f_.Block()->correction, 1);
    dialog_.Click(kSoftCheck);
    EXPECT_EQ(f_.Block()->soft, 1);
    EXPECT_FALSE(model_.OnCommand(kSoftCheck, 0));  // unchanged box: nothing
    EXPECT_EQ(Count(TakeEvents(), kFullRenderRequest), 4);
}

TEST_F(Dialog, ZoomingInStopsAtStepMinusTen) {
    Open();
    const std::int32_t before = dialog_.Record().paneInvalidations;
    for (int press = 0; press < 11; ++press) dialog_.Click(kZoomInButton);
    EXPECT_EQ(f_.context.zoomStep, -10);
    EXPECT_EQ(Text(kZoomLabel), "1200%");
    EXPECT_EQ(dialog_.Record().paneInvalidations, before + 22);  // a quick and a full render per press
    dialog_.Click(kZoomInButton);
    dialog_.Click(kZoomInButton);
    EXPECT_EQ(f_.context.zoomStep, -10);
    EXPECT_EQ(Text(kZoomLabel), "1200%");
    EXPECT_EQ(dialog_.Record().paneInvalidations, before + 22);
    for (int press = 0; press < 212; ++press) dialog_.Click(kZoomOutButton);
    EXPECT_EQ(f_.context.zoomStep, 202);
    EXPECT_EQ(Text(kZoomLabel), "0%");
}

TEST_F(Dialog, CancelRestoresAllTwentyFourBytes) {
    FilterParameters& block = *f_.Block();
    block = FilterParameters{5, 0, 0, 0, 0, 0, 0, -7, 0, 0, 0, 0};
    const FilterParameters original = block;
    Open();
    dialog_.MoveSlider(kAmountSlider, 60);
    dialog_.Click(kFftRadio);
    dialog_.Click(kSoftCheck);
    dialog_.Type(kFocusEdit, "9");
    dialog_.Click(kCancelButton);
    EXPECT_TRUE(model_.Ended());
    EXPECT_EQ(model_.EndValue(), kDialogEndedByCancel);
    EXPECT_EQ(model_.Status(), kUserCanceled);
    EXPECT_EQ(std::memcmp(&block, &original, sizeof block), 0);
    EXPECT_EQ(LiveAllocations(), live_);  // the preview's buffers are released
}

TEST_F(Dialog, OkKeepsTheEditedAndClampedBlock) {
    FilterParameters& block = *f_.Block();
    block.vertices = 0;
    block.brightness = 0;
    Open();
    dialog_.MoveSlider(kAmountSlider, 60);
    f_.record.abortProc = &AlwaysAbort;  // the preview render is interrupted by the host
    model_.OnRenderRequest(kFullRenderRequest);
    f_.record.abortProc = nullptr;
    ASSERT_EQ(model_.Status(), kUserCanceled);
    dialog_.Click(kOkButton);
    EXPECT_EQ(model_.EndValue(), kDialogEndedByOk);
    EXPECT_EQ(model_.Status(), 0);
    EXPECT_EQ(block.vertices, 1);
    EXPECT_EQ(block.brightness, 1);
    EXPECT_EQ(block.amount, 60);
    EXPECT_EQ(LiveAllocations(), live_);
    // Events after the end change nothing.
    EXPECT_FALSE(model_.OnCommand(kCancelButton, 0));
    EXPECT_EQ(model_.Status(), 0);
}

TEST_F(Dialog, CloseWhileIdleEndsByTheCancelPathWithTheArgumentsLowBits) {
    Open();
    dialog_.MoveSlider(kAmountSlider, 60);
    EXPECT_TRUE(model_.OnClose(0x12345));
    EXPECT_EQ(model_.EndValue(), 0x2345);
    EXPECT_EQ(model_.Status(), kUserCanceled);
    EXPECT_EQ(f_.Block()->amount, 5);
}

TEST_F(Dialog, ALoopCutShortWithoutOkOrCancelLeavesTheRunCancelledAndTheBlockRestored) {
    Open();
    dialog_.MoveSlider(kAmountSlider, 60);
    // The window system ended the dialog on its own (an application quit).
    EXPECT_EQ(model_.Finish(), kUserCanceled);
    EXPECT_EQ(f_.Block()->amount, 5);
    EXPECT_EQ(LiveAllocations(), live_);
    EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
}

TEST_F(Dialog, EndingsDuringARenderStopItAndComeBackLater) {
    Open();
    SetPreviewState(PreviewState::Rendering);
    EXPECT_TRUE(model_.OnCommand(kOkButton, 0));
    EXPECT_EQ(GetPreviewState(), PreviewState::AbortRequested);
    EXPECT_FALSE(model_.Ended());
    SetPreviewState(PreviewState::Rendering);
    EXPECT_FALSE(model_.OnClose(0));
    EXPECT_EQ(GetPreviewState(), PreviewState::AbortRequested);
    SetPreviewState(PreviewState::Rendering);
    EXPECT_FALSE(model_.OnCommand(kZoomOutButton, 0));
    EXPECT_EQ(GetPreviewState(), PreviewState::ZoomRerenderRequested);
    EXPECT_EQ(Text(kZoomLabel), "50%");  // the label follows at once
    const std::vector<NativeEvent> queued = TakeEvents();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].message, kCommandEvent);
    EXPECT_EQ(queued[0].wParam, CommandParameter(kOkButton, 0));
    EXPECT_EQ(queued[1].message, kCloseRequest);
    SetPreviewState(PreviewState::Idle);
}

// ---- Whole dialogs through ShowMainDialog ------------------------------------------------------

class ShownDialog : public ::testing::Test {
protected:
    ShownDialog() : f_(72, 60, 3, kModeRGB) {
        SetPreviewState(PreviewState::Idle);
        ClearNativeEvents();
        ClearDialogScript();
        f_.Fill(&BrightPoints);
        f_.Block()->vertices = 1;
        live_ = LiveAllocations();
    }
    ~ShownDialog() override {
        EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
        EXPECT_EQ(LiveAllocations(), live_);
        EXPECT_EQ(PendingNativeEvents(), 0u);
        SetScriptedEditNotifications(true);
    }
    // The render requests handled, as "F"/"Q" with "!" for a full render that ended with a non-zero word
    // (a quick render leaves the word alone), "-" for one dropped and "^" for one nested in another.
    static std::string Renders() {
        const NativeDialogRecord& r = LastNativeDialog();
        std::string log;
        for (std::int32_t i = 0; i < r.renderLogCount; ++i) {
            const RenderLogEntry& e = r.renderLog[i];
            log += e.message == kFullRenderRequest ? 'F' : 'Q';
            if (!e.ran) log += '-';
            else if (e.result != 0 && e.message == kFullRenderRequest) log += '!';
            if (e.depth != 1) log += '^';  // a render started nested in another
        }
        return log;
    }
    static const char* TextOf(std::int16_t id) {
        for (const NativeControlState& c : LastNativeDialog().controls)
            if (c.id == id) return c.text;
        return "";
    }
    PreviewFixture f_;
    std::int64_t live_ = 0;
};

TEST_F(ShownDialog, WithNothingToDoTheUserAcceptsTheFilteredView) {
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(f_.result, 0);
    EXPECT_EQ(Renders(), "F");
    const NativeDialogRecord& r = LastNativeDialog();
    EXPECT_EQ(r.endValue, kDialogEndedByOk);
    EXPECT_GE(r.paints, 1);
    // The thumbnail shows the disc: bright in the middle, dark in the corner.
    EXPECT_EQ(r.thumbCanvas[32 * kThumbSize + 32], 255);
    EXPECT_EQ(r.thumbCanvas[0], 0);
}

TEST_F(ShownDialog, ASliderMovedDuringAFullRenderStopsItAndExactlyOneFullRenderFollows) {
    ScriptDialogAction(MoveSliderAction(kAmountSlider, 7, /*duringRender=*/true));
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(Renders(), "F!F");
    EXPECT_EQ(f_.Block()->amount, 7);
}

TEST_F(ShownDialog, SettingsTypedDuringARenderNeedNoNotificationFromTheBox) {
    SetScriptedEditNotifications(false);
    ScriptDialogAction(MoveSliderAction(kEdgeSlider, 30, true));
    ScriptDialogAction(TypeAction(kRotationEdit, "45"));
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(Renders(), "F!FF");
    EXPECT_EQ(f_.Block()->edge, 30);
    EXPECT_EQ(f_.Block()->rotation, 45);
    EXPECT_STREQ(TextOf(kEdgeEdit), "30");
}

TEST_F(ShownDialog, ZoomDuringARenderGivesAQuickThenAFullRender) {
    ScriptDialogAction(ClickAction(kZoomInButton, true));
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(Renders(), "F!QF");
    EXPECT_EQ(f_.context.zoomStep, 0);
    EXPECT_STREQ(TextOf(kZoomLabel), "200%");
}

TEST_F(ShownDialog, ACloseRequestDuringARenderClosesAsCancelOnceTheRenderReturned) {
    f_.Block()->amount = 9;
    ScriptDialogAction(MoveSliderAction(kAmountSlider, 3));  // idle: queues a full render
    ScriptDialogAction(CloseAction(true));
    EXPECT_NE(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(f_.result, kUserCanceled);
    EXPECT_EQ(f_.Block()->amount, 9);
    EXPECT_EQ(Renders(), "FF!");
    EXPECT_EQ(LastNativeDialog().endValue, 0);
}

TEST_F(ShownDialog, OkDuringARenderStopsItAndEndsWithResultZero) {
    ScriptDialogAction(MoveSliderAction(kAmountSlider, 12));
    ScriptDialogAction(ClickAction(kOkButton, true));
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(f_.result, 0);
    EXPECT_EQ(f_.Block()->amount, 12);
    EXPECT_EQ(Renders(), "FF!");
    EXPECT_EQ(LastNativeDialog().endValue, kDialogEndedByOk);
}

TEST_F(ShownDialog, CancelDuringARenderRestoresTheBlock) {
    ScriptDialogAction(MoveSliderAction(kRatioSlider, -40));
    ScriptDialogAction(ClickAction(kCancelButton, true));
    EXPECT_NE(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(f_.result, kUserCanceled);
    EXPECT_EQ(f_.Block()->ratio, 0);
    EXPECT_EQ(LastNativeDialog().endValue, kDialogEndedByCancel);
}

TEST_F(ShownDialog, AClickInThePaneWhileIdleGivesOneFullRenderAndLaterChangesStillRefresh) {
    ScriptDialogAction(PaneAction(DialogActionKind::PanePress, 10, 10));
    ScriptDialogAction(PaneAction(DialogActionKind::PaneRelease, 10, 10));
    ScriptDialogAction(MoveSliderAction(kBrightnessSlider, 40));
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(Renders(), "FFF");
}

TEST_F(ShownDialog, DraggingDuringARenderStopsItAndTheReleaseAsksForOneFullRender) {
    f_.context.previewRect = Rect{0, 0, 20, 20};
    ScriptDialogAction(PaneAction(DialogActionKind::PanePress, 10, 10, true));
    ScriptDialogAction(PaneAction(DialogActionKind::PaneMove, 4, 6));
    ScriptDialogAction(PaneAction(DialogActionKind::PaneRelease, 4, 6));
    EXPECT_EQ(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(Renders(), "F!F");
}

TEST_F(ShownDialog, WithoutPreviewBuffersTheDialogStillWorks) {
    FailAllocationNumber(1);
    ScriptDialogAction(MoveSliderAction(kAmountSlider, 20));
    const bool accepted = ShowMainDialog(f_.context).ok();
    FailAllocationNumber(0);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(f_.Block()->amount, 20);
    EXPECT_EQ(LastNativeDialog().thumbCanvas[32 * kThumbSize + 32], 0);  // nothing was drawn
}

TEST_F(ShownDialog, AnImageThatCannotBeFetchedEndsTheDialogWithTheHostsCode) {
    f_.FailAdvanceState(-30);
    f_.Block()->vertices = 0;
    EXPECT_NE(f_.result = ShowMainDialog(f_.context), kNoError);
    EXPECT_EQ(f_.result, -30);
    EXPECT_EQ(f_.Block()->vertices, 0);
    EXPECT_EQ(Renders(), "");
}

// ---- Through the plug-in's entry point ----------------------------------------------------------

testhost::HostImage LightsImage() {
    testhost::HostImage image = testhost::MakeImage(64, 48, 3, kModeRGB);
    for (int r = 0; r < 48; ++r)
        for (int c = 0; c < 64; ++c)
            for (int p = 0; p < 3; ++p) image.SetSample(r, c, p, BrightPoints(r, c, p));
    return image;
}

TEST(DialogThroughTheEntryPoint, OkRendersTheRunWithTheSettingsChosenInTheDialog) {
    testhost::FilterHost host = aperlume::testing::LinkedHost();
    host.SetImage(LightsImage());
    ScriptDialogAction(MoveSliderAction(kAmountSlider, 4));
    ScriptDialogAction(ClickAction(kOkButton));
    EXPECT_EQ(host.Run(true), 0);
    ASSERT_NE(host.Settings(), nullptr);
    EXPECT_EQ(host.Settings()[0], 4);  // amount
    EXPECT_EQ(host.Settings()[2], 1);  // vertices, clamped from 0 as the dialog opened
    EXPECT_NE(host.Output().samples, host.Input().samples);
    EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
}

TEST(DialogThroughTheEntryPoint, CancelEndsTheRunWithTheBlockAsItWas) {
    testhost::FilterHost host = aperlume::testing::LinkedHost();
    host.SetImage(LightsImage());
    ScriptDialogAction(MoveSliderAction(kAmountSlider, 4));
    ScriptDialogAction(ClickAction(kCancelButton));
    EXPECT_EQ(host.Run(true), kUserCanceled);
    ASSERT_NE(host.Settings(), nullptr);
    EXPECT_EQ(host.Settings()[0], 5);
    EXPECT_EQ(host.Settings()[2], 0);
    EXPECT_EQ(host.ContinueCalls(), 0);
}

}  // namespace
}  // namespace aperlume
