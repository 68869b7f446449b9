// The preview state machine: render requests, the refresh and its follow-ups, the pane's mouse, and the
// pixel map handed to the host for painting.
#include "ui/preview_pane.h"

#include <gtest/gtest.h>

#include <vector>

#include "ui/preview_state.h"
#include "tests/ui/preview_fixture.h"
#include "ui/dialog_ids.h"
#include "ui/preview_render.h"

namespace aperlume {
namespace {

using testing::PreviewFixture;

// Records what the pane asks of the window system; `duringRender` plays a handler that ran nested in
// the render and left this state (Rendering: none ran).
struct FakeTarget final : PreviewTarget {
    void PostRenderRequest(std::uint32_t message) override { posted.push_back(message); }
    void InvalidatePane() override {
        statesAtInvalidate.push_back(GetPreviewState());
        if (duringRender != PreviewState::Rendering) SetPreviewState(duringRender);
    }
    std::vector<std::uint32_t> posted;
    std::vector<PreviewState> statesAtInvalidate;
    PreviewState duringRender = PreviewState::Rendering;
};

class PreviewPane : public ::testing::Test {
protected:
    PreviewPane() : f_(60, 50, 3, kModeRGB) {
        SetPreviewState(PreviewState::Idle);
        ResetPaneState();
        EXPECT_EQ(f_.session.AllocateBuffers(), kNoError);
        f_.result = SetupPreview(f_.session);
    }
    ~PreviewPane() override {
        f_.session.ReleaseBuffers();
        SetPreviewState(PreviewState::Idle);
    }
    PreviewFixture f_;
    FakeTarget target_;
};

TEST_F(PreviewPane, ARequestQueuesAFullRenderOnlyWhenIdle) {
    RequestPreview(target_);
    EXPECT_EQ(target_.posted, std::vector<std::uint32_t>{kFullRenderRequest});
    EXPECT_EQ(GetPreviewState(), PreviewState::Idle);

    SetPreviewState(PreviewState::Rendering);
    RequestPreview(target_);
    EXPECT_EQ(GetPreviewState(), PreviewState::RerenderRequested);
    for (PreviewState stop : {PreviewState::AbortRequested, PreviewState::RerenderRequested,
                              PreviewState::ZoomRerenderRequested}) {
        SetPreviewState(stop);
        RequestPreview(target_);
        EXPECT_EQ(GetPreviewState(), stop);
    }
    EXPECT_EQ(target_.posted.size(), 1u);
}

TEST_F(PreviewPane, ARefreshRendersThenQueuesWhatTheStateAsksFor) {
    struct Case {
        PreviewState left;
        std::vector<std::uint32_t> follow;
    };
    const Case cases[] = {
        {PreviewState::Rendering, {}},
        {PreviewState::AbortRequested, {}},
        {PreviewState::RerenderRequested, {kFullRenderRequest}},
        {PreviewState::ZoomRerenderRequested, {kQuickRenderRequest, kFullRenderRequest}},
    };
    for (const Case& c : cases) {
        FakeTarget target;
        target.duringRender = c.left;
        f_.result = RefreshPreview(0x100, f_.session, target);  // low 8 bits 0: quick
        EXPECT_EQ(target.statesAtInvalidate, std::vector<PreviewState>{PreviewState::Rendering});
        EXPECT_EQ(target.posted, c.follow) << static_cast<int>(c.left);
        EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
    }
    EXPECT_EQ(f_.result, kNoError);  // the quick renders never ran the filter
}

TEST_F(PreviewPane, ARequestTakenWhileARenderIsOnTheStackIsDropped) {
    SetPreviewState(PreviewState::Rendering);
    f_.result = HandleRenderRequest(kFullRenderRequest, f_.session, target_);
    EXPECT_TRUE(target_.statesAtInvalidate.empty());
    EXPECT_EQ(GetPreviewState(), PreviewState::Rendering);
    SetPreviewState(PreviewState::Idle);
    f_.result = HandleRenderRequest(kQuickRenderRequest, f_.session, target_);
    EXPECT_EQ(target_.statesAtInvalidate.size(), 1u);
    EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
}

TEST_F(PreviewPane, DraggingPansWithQuickRendersAndReleasingAsksForOneFullRender) {
    f_.context.viewCenterV = 25;
    f_.context.viewCenterH = 30;
    f_.context.previewRect = Rect{0, 0, 20, 20};
    PaneMouseMove(5, 5, f_.session, target_);  // not dragging: nothing
    EXPECT_TRUE(target_.statesAtInvalidate.empty());

    PaneButtonDown(10, 10);
    EXPECT_TRUE(PaneDragging());
    EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
    PaneMouseMove(14, 7, f_.session, target_);
    EXPECT_DOUBLE_EQ(f_.context.viewCenterH, 26);
    EXPECT_DOUBLE_EQ(f_.context.viewCenterV, 28);
    PaneMouseMove(15, 7, f_.session, target_);
    EXPECT_DOUBLE_EQ(f_.context.viewCenterH, 25);
    EXPECT_EQ(target_.statesAtInvalidate.size(), 2u);
    EXPECT_TRUE(target_.posted.empty());
    EXPECT_EQ(f_.result, 0);

    PaneButtonUp(target_);
    EXPECT_FALSE(PaneDragging());
    EXPECT_EQ(target_.posted, std::vector<std::uint32_t>{kFullRenderRequest});
}

TEST_F(PreviewPane, PressingTheButtonStopsARunningRender) {
    SetPreviewState(PreviewState::Rendering);
    PaneButtonDown(1, 1);
    EXPECT_EQ(GetPreviewState(), PreviewState::AbortRequested);
    SetPreviewState(PreviewState::RerenderRequested);
    PaneButtonDown(1, 1);
    EXPECT_EQ(GetPreviewState(), PreviewState::AbortRequested);
    // Released while the render still runs: a full render follows it.
    SetPreviewState(PreviewState::Rendering);
    PaneButtonUp(target_);
    EXPECT_EQ(GetPreviewState(), PreviewState::RerenderRequested);
}

TEST_F(PreviewPane, ThePixelMapDescribesThePreviewAsEightBitWithTheMaskToShow) {
    f_.context.previewRect = Rect{7, 5, 47, 55};  // 50 x 40
    PSPixelMap map{};
    PSPixelMask mask{};
    ASSERT_TRUE(BuildPreviewPixelMap(f_.session, map, mask));
    EXPECT_EQ(map.version, 1);
    EXPECT_EQ(map.bounds.top, 0);
    EXPECT_EQ(map.bounds.left, 0);
    EXPECT_EQ(map.bounds.bottom, 40);
    EXPECT_EQ(map.bounds.right, 50);
    EXPECT_EQ(map.imageMode, kModeRGB);
    EXPECT_EQ(map.rowBytes, 150);
    EXPECT_EQ(map.colBytes, 3);
    EXPECT_EQ(map.planeBytes, 1);
    EXPECT_EQ(map.baseAddr, f_.session.Pixels());
    EXPECT_EQ(map.mat, nullptr);
    EXPECT_EQ(map.masks, nullptr);
    EXPECT_EQ(map.maskPhaseRow, 0);
    EXPECT_EQ(map.maskPhaseCol, 0);

    f_.record.inLayerPlanes = 3;
    f_.record.inTransparencyMask = 1;
    f_.context.hasTransparency = 1;  // four bytes per pixel, the transparency last
    ASSERT_TRUE(BuildPreviewPixelMap(f_.session, map, mask));
    ASSERT_EQ(map.masks, &mask);
    EXPECT_EQ(mask.maskData, f_.session.Pixels() + 3);
    EXPECT_EQ(mask.rowBytes, 200);
    EXPECT_EQ(mask.colBytes, 4);
    EXPECT_EQ(mask.next, nullptr);
    EXPECT_EQ(mask.maskDescription, 0);

    f_.record.isFloating = 1;  // a floating selection shows its mask instead
    ASSERT_TRUE(BuildPreviewPixelMap(f_.session, map, mask));
    EXPECT_EQ(mask.maskData, f_.session.Mask());
    EXPECT_EQ(mask.rowBytes, 50);
    EXPECT_EQ(mask.colBytes, 1);

    for (auto [mode, shown] : {std::pair{kModeGray16, kModeGrayScale}, std::pair{kModeRGB48, kModeRGB},
                               std::pair{kModeGrayScale, kModeGrayScale}}) {
        f_.record.imageMode = mode;
        ASSERT_TRUE(BuildPreviewPixelMap(f_.session, map, mask));
        EXPECT_EQ(map.imageMode, shown);
    }
    f_.context.hasTransparency = 0;
    f_.session.ReleaseBuffers();
    EXPECT_FALSE(BuildPreviewPixelMap(f_.session, map, mask));  // after the dialog: nothing to paint
}

TEST_F(PreviewPane, ThumbnailGraysAreTheLowBitsOfTheScaledWeight) {
    const float weights[] = {0.0f, 0.5f, 1.0f, 1.01f};
    const std::uint8_t grays[] = {0, 127, 255, 1};
    for (std::int32_t k = 0; k < 4; ++k) {
        f_.session.Thumb()[k] = weights[k];
        EXPECT_EQ(ThumbGray(f_.session, 0, k), grays[k]) << k;
    }
    f_.session.Thumb()[64 * 65 + 64] = 0.25f;
    EXPECT_EQ(ThumbGray(f_.session, 64, 64), 63);
}

}  // namespace
}  // namespace aperlume
