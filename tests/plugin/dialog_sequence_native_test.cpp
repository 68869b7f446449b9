// Whether start shows the dialog: after a parameters call, and not otherwise (no scripting offered).
// Natively the dialog is the scripted stand-in, whose user presses OK when nothing else is queued.
#include <gtest/gtest.h>

#include "host/plugin_context.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "tests/support/linked_host.h"
#include "tests/support/misdeliveries.h"
#include "ui/dialog_helpers_probe.h"
#include "ui/native_dialog.h"

#include <algorithm>
#include <iterator>

namespace aperlume {
namespace {

TEST(DialogSequence, ParametersThenStartShowsTheDialogAndStartAloneDoesNot) {
    auto host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(12, 8, 3, kModeRGB, 5u));
    ClearDialogScript();

    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    EXPECT_EQ(host.Settings()[2], 0);  // no dialog: vertices 0 is not raised

    ASSERT_EQ(host.Call(kSelectorParameters), kNoError);
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    const std::int64_t live = LiveAllocations();
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    EXPECT_TRUE(LastNativeDialog().ended);
    EXPECT_EQ(host.Settings()[2], 1);  // the dialog raised vertices into its range and OK kept it
    const auto* context = reinterpret_cast<const PluginContext*>(host.DataSlot());
    EXPECT_EQ(context->showDialog, 0);
    EXPECT_EQ(LiveAllocations(), live);  // the dialog released its buffers
    ASSERT_EQ(host.Call(kSelectorContinue), kNoError);
    EXPECT_EQ(host.Call(kSelectorFinish), kNoError);
}

}  // namespace
}  // namespace aperlume

namespace aperlume {
namespace {

// Natively the alert is recorded instead of shown, so this runs without a window to dismiss.
TEST(DialogSequence, AHostWithoutImageRequestsGetsTheAlertAndTheRunEnds) {
    auto host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(4, 4, 3, kModeRGB, 2u));
    testhost::HostQuirks quirks;
    quirks.noAdvanceState = true;
    host.SetQuirks(quirks);
    ClearShownAlerts();
    host.Record().inRect = {0, 0, 4, 4};
    EXPECT_EQ(host.Call(kSelectorStart), kUserCanceled);
    EXPECT_EQ(host.Record().inRect.right, 0);
    EXPECT_EQ(host.Record().outRect.right, 0);
    EXPECT_EQ(host.Record().maskRect.right, 0);
    ASSERT_EQ(ShownAlerts().size(), 1u);
    const std::vector<std::uint8_t>& text = ShownAlerts()[0].text;
    EXPECT_NE(std::search(text.begin(), text.end(), std::begin("3.0"), std::end("3.0") - 1), text.end());
}

}  // namespace
}  // namespace aperlume

namespace aperlume {
namespace {

// The dialog fetches the transparency, then the colour planes; start fetches once more after it.
class MisdeliveringHostToTheDialog : public ::testing::TestWithParam<testing::Misdelivery> {};

TEST_P(MisdeliveringHostToTheDialog, EndsTheRunCleanlyAtEveryFetch) {
    for (std::int32_t from = 1; from <= 3; ++from) {
        ClearDialogScript();
        testing::ExpectRunRefused(GetParam(), true, from);
    }
}

INSTANTIATE_TEST_SUITE_P(EachWay, MisdeliveringHostToTheDialog, ::testing::ValuesIn(testing::Misdeliveries()),
                         testing::MisdeliveryName);

}  // namespace
}  // namespace aperlume
