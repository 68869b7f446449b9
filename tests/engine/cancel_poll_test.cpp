// The render code's check points: the preview's check before the host's abortProc, and progress.
#include "engine/cancel_poll.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "base/result.h"

namespace aperlume {
namespace {

using enginetest::EngineHost;

TEST(PollCancel, AsksTheHostAndTurnsItsYesIntoTheCancelCode) {
    EngineHost host(kModeRGB, 3);
    host.result = 5;  // a check that lets the run go on leaves the word alone
    EXPECT_FALSE(PollCancel(host.context));
    EXPECT_EQ(host.result, 5);
    host.log.abortAtCall = 2;
    EXPECT_TRUE(PollCancel(host.context));
    EXPECT_EQ(host.result, kUserCanceled);
    EXPECT_EQ(host.log.abortCalls, 2);

    host.record.abortProc = nullptr;
    host.result = 0;
    EXPECT_FALSE(PollCancel(host.context));
    EXPECT_FALSE(HostAbortRequested(host.context));
    EXPECT_EQ(host.result, 0);
}

TEST(PollCancel, PreviewInterruptionComesFirstAndSkipsTheHost) {
    EngineHost host(kModeRGB, 3);
    host.StartPreview();
    host.log.previewStopAtCheck = 1;
    EXPECT_TRUE(PollCancel(host.context));
    EXPECT_EQ(host.result, kUserCanceled);
    EXPECT_EQ(host.log.abortCalls, 0);
}

TEST(ReportProgress, ForwardsToTheHostAndToleratesItsAbsence) {
    EngineHost host(kModeRGB, 3);
    ReportProgress(host.context, 7, 47);
    ASSERT_EQ(host.log.progressDone.size(), 1u);
    EXPECT_EQ(host.log.progressDone[0], 7);
    EXPECT_EQ(host.log.progressTotal[0], 47);

    host.record.progressProc = nullptr;
    ReportProgress(host.context, 8, 47);
    PluginContext noRecord{};
    ReportProgress(noRecord, 9, 47);
    EXPECT_FALSE(HostAbortRequested(noRecord));
    EXPECT_EQ(host.log.progressDone.size(), 1u);
}

}  // namespace
}  // namespace aperlume
