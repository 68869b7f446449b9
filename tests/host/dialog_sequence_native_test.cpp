// Whether start shows the dialog: after a parameters call, and not otherwise (no scripting offered).
// Natively the dialog is the scripted stand-in, whose user presses OK when nothing else is queued.
#include <gtest/gtest.h>

#include "host/plugin_context.h"
#include "host/result_code.h"
#include "tests/support/linked_host.h"
#include "ui/native_dialog.h"

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
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    EXPECT_TRUE(LastNativeDialog().ended);
    EXPECT_EQ(host.Settings()[2], 1);  // the dialog raised vertices into its range and OK kept it
    const auto* context = reinterpret_cast<const PluginContext*>(host.DataSlot());
    EXPECT_EQ(context->showDialog, 0);
    EXPECT_EQ(context->previewPixels, nullptr);  // the dialog released its buffers
    ASSERT_EQ(host.Call(kSelectorContinue), kNoError);
    EXPECT_EQ(host.Call(kSelectorFinish), kNoError);
}

}  // namespace
}  // namespace aperlume
