// The dialog helpers natively: stand-in windows and recorded alerts.
#include <gtest/gtest.h>

#include <array>

#include "ui/dialog_helpers_probe.h"
#include "ui/string_table.h"

namespace aperlume {
namespace {

NativeWindow MakeDialog() {
    NativeWindow dialog{};
    dialog.screenRect = ScreenRect{100, 100, 400, 300};
    dialog.clientOrigin = ScreenPoint{103, 125};
    dialog.controls = {NativeControl{1001, ScreenRect{110, 130, 210, 160}, true},
                       NativeControl{1002, ScreenRect{110, 170, 210, 200}, false},
                       NativeControl{1003, ScreenRect{220, 130, 300, 160}, true}};
    return dialog;
}

TEST(CenterOnDesktop, MovesTheWindowKeepingItsSize) {
    SetNativeDesktop(ScreenRect{0, 0, 1024, 768});
    NativeWindow dialog = MakeDialog();
    CenterOnDesktop(&dialog);
    EXPECT_EQ(dialog.screenRect.left, 362);
    EXPECT_EQ(dialog.screenRect.top, 189);
    EXPECT_EQ(dialog.screenRect.right - dialog.screenRect.left, 300);
    EXPECT_EQ(dialog.screenRect.bottom - dialog.screenRect.top, 200);
}

TEST(EnableControls, TouchesTheControlsInOrderAndAnswersForTheLast) {
    NativeWindow dialog = MakeDialog();
    const std::array<std::int32_t, 2> ids{1003, 1002};
    EXPECT_EQ(EnableControls(&dialog, true, ids), 1) << "1002 was disabled before";
    EXPECT_TRUE(dialog.controls[1].enabled);
    EXPECT_TRUE(dialog.controls[2].enabled);
    EXPECT_EQ(dialog.enableCalls, (std::vector<std::int32_t>{1003, 1002}));

    EXPECT_EQ(EnableControls(&dialog, false, ids), 0);
    EXPECT_FALSE(dialog.controls[1].enabled);
    EXPECT_FALSE(dialog.controls[2].enabled);
    EXPECT_TRUE(dialog.controls[0].enabled);
}

TEST(EnableControls, AnEmptyListTouchesNothing) {
    NativeWindow dialog = MakeDialog();
    EXPECT_EQ(EnableControls(&dialog, false, std::span<const std::int32_t>()), 0);
    EXPECT_TRUE(dialog.enableCalls.empty());
    EXPECT_TRUE(dialog.controls[0].enabled);
}

TEST(GetControlRect, GivesClientCoordinates) {
    NativeWindow dialog = MakeDialog();
    Rect r{};
    GetControlRect(1001, r, &dialog);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.left, 7);
    EXPECT_EQ(r.bottom, 35);
    EXPECT_EQ(r.right, 107);
}

TEST(ShowAlert, AlertIdZeroShowsNothing) {
    ClearShownAlerts();
    EXPECT_EQ(ShowAlert(nullptr, nullptr, 0, kNoImageServiceMessage, nullptr, nullptr), 0);
    EXPECT_TRUE(ShownAlerts().empty());
}

TEST(ShowAlert, AMissingTemplateShowsAnEmptyMessage) {
    ClearShownAlerts();
    int owner = 0;
    EXPECT_EQ(ShowAlert(nullptr, &owner, 1, 12345, nullptr, nullptr), 1);
    ASSERT_EQ(ShownAlerts().size(), 1u);
    EXPECT_TRUE(ShownAlerts()[0].text.empty());
    EXPECT_EQ(ShownAlerts()[0].owner, &owner);
}

TEST(ShowAlert, ANonPositiveTemplateIdLoadsNothing) {
    ClearShownAlerts();
    EXPECT_EQ(ShowAlert(nullptr, nullptr, 1, -16992, nullptr, nullptr), 1);
    ASSERT_EQ(ShownAlerts().size(), 1u);
    EXPECT_TRUE(ShownAlerts()[0].text.empty());
}

}  // namespace
}  // namespace aperlume
