// Whole runs through our host and the plug-in's entry point, for every method in both depths, with the
// N-th working allocation failing for every N, and with the host cancelling at the k-th check point for
// every k; without and with the dialog. A run ends in success with the image an undisturbed run makes,
// or with the failure's code and the document untouched; either way nothing is kept.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "host/global_memory_probe.h"
#include "tests/support/linked_host.h"
#include "ui/native_dialog.h"
#include "ui/preview_state.h"

namespace aperlume {
namespace {

struct SweepCase {
    const char* name;
    std::int16_t method;
    bool depthMap;
    std::int16_t mode;
};

const SweepCase kCases[] = {
    {"Direct8", 0, false, kModeRGB},      {"Direct16", 0, false, kModeRGB48},
    {"DirectDepth8", 0, true, kModeRGB},  {"DirectDepth16", 0, true, kModeRGB48},
    {"MonteCarlo8", 1, false, kModeRGB},  {"MonteCarlo16", 1, false, kModeRGB48},
    {"Fft8", 2, false, kModeRGB},         {"Fft16", 2, false, kModeRGB48},
};

// One host for all runs of a case (the plug-in's context and block live in its data slot, as with a real
// host); every run starts from the same document.
class FailureSweep : public ::testing::TestWithParam<SweepCase> {
protected:
    void SetUp() override {
        const SweepCase& c = GetParam();
        image_ = testing::RandomImage(13, 10, 3, c.mode, 21u);
        std::vector<std::uint8_t> selection(130);
        for (std::size_t i = 0; i < selection.size(); ++i) selection[i] = static_cast<std::uint8_t>(i * 37 % 256);
        host_.SetSelection(selection);
        Reset({});
        ASSERT_EQ(host_.Call(kSelectorPrepare), kNoError);  // the context and the block, once
        std::int16_t* settings = host_.Settings();
        ASSERT_NE(settings, nullptr);
        settings[0] = 3;   // amount
        settings[2] = 6;   // vertices
        settings[8] = c.method;
        settings[10] = c.depthMap ? 1 : 0;
        settings[11] = 90;  // focus
    }

    void Reset(const testhost::HostQuirks& quirks) {
        host_.SetImage(image_);
        host_.SetQuirks(quirks);
        ClearDialogScript();
    }

    // A run from the same document; its result, with what was live before it compared after it.
    std::int16_t Run(bool dialog) {
        const std::int64_t live = LiveAllocations();
        const std::int64_t blocks = LiveMovableBlocks();
        const std::int32_t handles = host_.HostHandlesLive();
        const std::int16_t result = host_.Run(dialog);
        EXPECT_EQ(LiveAllocations(), live);
        EXPECT_EQ(LiveMovableBlocks(), blocks);
        EXPECT_EQ(host_.HostHandlesLive(), handles);
        EXPECT_EQ(GetPreviewState(), PreviewState::Idle);
        return result;
    }

    // Fails the N-th working allocation for every N until a run no longer reaches it.
    void SweepAllocations(bool dialog) {
        Reset({});
        ASSERT_EQ(Run(dialog), kNoError);
        const std::vector<std::uint8_t> reference = host_.Output().samples;
        ASSERT_NE(reference, image_.samples);
        std::int64_t n = 1;
        for (;; ++n) {
            Reset({});
            const std::int64_t before = AllocationsMade();
            FailAllocationNumber(n);
            const std::int16_t result = Run(dialog);
            FailAllocationNumber(0);
            const bool reached = AllocationsMade() - before >= n;
            ExpectOutcome(result, kOutOfMemory, reference, n);
            if (!reached) break;
        }
        EXPECT_GE(n, 8) << "allocations the sweep covered";
    }

    // Cancels at the k-th abort poll for every k the undisturbed run makes: from there on (the final run)
    // or only there (the dialog: a user who cancels one preview render and then accepts).
    void SweepCancels(bool dialog) {
        Reset({});
        const std::int32_t before = host_.AbortPolls();
        ASSERT_EQ(Run(dialog), kNoError);
        const std::vector<std::uint8_t> reference = host_.Output().samples;
        const std::int32_t polls = host_.AbortPolls() - before;
        ASSERT_GE(polls, 6);
        for (std::int32_t k = 1; k <= polls; ++k) {
            testhost::HostQuirks quirks;
            quirks.abortAtPoll = host_.AbortPolls() + k;
            quirks.abortOnlyThere = dialog;
            Reset(quirks);
            const std::int16_t result = Run(dialog);
            if (!dialog) {
                EXPECT_EQ(result, kUserCanceled) << k;
            }
            ExpectOutcome(result, kUserCanceled, reference, k);
        }
    }

    void ExpectOutcome(std::int16_t result, std::int16_t failure, const std::vector<std::uint8_t>& reference,
                       std::int64_t at) {
        if (result == kNoError && GetParam().method == 1) {
            // Monte Carlo noise goes on where the last run left it: a render, but not the same one.
            EXPECT_NE(host_.Output().samples, image_.samples) << at;
        } else if (result == kNoError) {
            EXPECT_EQ(host_.Output().samples, reference) << at;
        } else {
            EXPECT_EQ(result, failure) << at;
            EXPECT_EQ(host_.Output().samples, image_.samples) << at;
        }
    }

    testhost::FilterHost host_ = testing::LinkedHost();
    testhost::HostImage image_;
};

TEST_P(FailureSweep, EveryFailedAllocationOfARunEndsItCleanly) { SweepAllocations(false); }
TEST_P(FailureSweep, EveryCancelOfARunEndsItCleanly) { SweepCancels(false); }
TEST_P(FailureSweep, EveryFailedAllocationAroundTheDialogEndsItCleanly) { SweepAllocations(true); }
TEST_P(FailureSweep, EveryCancelAroundTheDialogEndsItCleanly) { SweepCancels(true); }

INSTANTIATE_TEST_SUITE_P(AllMethods, FailureSweep, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SweepCase>& param) { return param.param.name; });

}  // namespace
}  // namespace aperlume
