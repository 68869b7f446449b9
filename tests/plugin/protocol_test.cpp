// Selector sequences through our own host, with the plug-in code linked in.
#include <gtest/gtest.h>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "host/movable_handle.h"
#include "host/plugin_context.h"
#include "host/process_state.h"
#include "tests/support/host_kind_scope.h"
#include "tests/support/linked_host.h"
#include "tests/support/misdeliveries.h"

namespace aperlume {
namespace {

using testhost::FilterHost;
using testhost::HostImage;
using testhost::MakeImage;

// Settings that read and write every plane without spreading or correcting it, so the run must give
// back the source exactly.
void PassThrough(FilterHost& host) {
    auto* s = reinterpret_cast<FilterParameters*>(host.Settings());
    ASSERT_NE(s, nullptr);
    s->method = 5;
    s->correction = 2;
}

TEST(Protocol, TheFirstCallWithANullDataSlotCreatesContextAndDefaults) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(4, 3, 3, kModeRGB));
    host.Record().bufferSpace = 77;
    host.Record().maxSpace = 99;
    EXPECT_EQ(host.Call(kSelectorPrepare), kNoError);
    EXPECT_NE(host.DataSlot(), 0);
    EXPECT_EQ(host.Record().bufferSpace, 0);
    EXPECT_EQ(host.Record().maxSpace, 0);
    const std::int16_t* s = host.Settings();
    ASSERT_NE(s, nullptr);
    const std::int16_t expected[12] = {5, 25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(s[i], expected[i]) << "slot " << i;
}

TEST(Protocol, AnUnknownSelectorIsBadParametersAndChangesNothing) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(4, 3, 1, kModeGrayScale));
    ASSERT_EQ(host.Call(kSelectorParameters), kNoError);
    const std::intptr_t slot = host.DataSlot();
    const auto* context = reinterpret_cast<const PluginContext*>(slot);
    ASSERT_EQ(context->showDialog, 1);
    EXPECT_EQ(host.Call(6), kBadParameters);
    EXPECT_EQ(host.DataSlot(), slot);
    EXPECT_EQ(context->showDialog, 1);
    EXPECT_EQ(host.Call(-1), kBadParameters);
}

TEST(Protocol, AnExistingParameterBlockIsLeftAsStored) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(4, 3, 3, kModeRGB));
    ASSERT_EQ(host.Call(kSelectorParameters), kNoError);
    std::int16_t* s = host.Settings();
    s[2] = 42;   // vertices out of range
    s[7] = -7;   // the reserved slot
    ASSERT_EQ(host.Call(kSelectorParameters), kNoError);
    EXPECT_EQ(host.Settings(), s);
    EXPECT_EQ(s[2], 42);
    EXPECT_EQ(s[7], -7);
}

TEST(Protocol, PremiereGetsWholeSizeFromImageSize) {
    testing::HostKindScope kind(HostPremiere);
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(9, 7, 3, kModeRGB));
    host.Record().wholeSize = {1, 1};
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    EXPECT_EQ(host.Record().wholeSize.v, 7);
    EXPECT_EQ(host.Record().wholeSize.h, 9);
}

TEST(Protocol, FireworksKeepsTheContextInAHostHandle) {
    testing::HostKindScope kind(HostFireworks);
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(5, 4, 3, kModeRGB));
    const std::int32_t before = host.HostHandlesLive();
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    EXPECT_EQ(host.HostHandlesLive(), before + 1);
    const std::intptr_t handle = host.DataSlot();
    ASSERT_NE(handle, 0);
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    EXPECT_EQ(host.DataSlot(), handle);  // found again, not made anew
    EXPECT_EQ(host.HostHandlesLive(), before + 1);
    PassThrough(host);
    EXPECT_EQ(host.Run(false), kNoError);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
}

TEST(Protocol, AnAdvanceStateErrorEndsStartWithThatCode) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(4, 4, 3, kModeRGB));
    testhost::HostQuirks quirks;
    quirks.advanceStateError = -50;
    host.SetQuirks(quirks);
    EXPECT_EQ(host.Call(kSelectorStart), -50);
    EXPECT_EQ(host.Record().inRect.right, 0);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
}

struct PassThroughCase {
    const char* name;
    std::int16_t mode;
    std::int16_t planes;
    bool transparencyBeside;
    bool selection;
};

class PassThroughRun : public ::testing::TestWithParam<PassThroughCase> {};

TEST_P(PassThroughRun, GivesTheImageBackByteForByte) {
    const PassThroughCase& c = GetParam();
    FilterHost host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(13, 9, c.planes, c.mode, 7u));
    host.SetTransparencyBeside(c.transparencyBeside);
    if (c.selection) {
        std::vector<std::uint8_t> mask(13 * 9, 0);
        for (std::size_t i = 20; i < 80; ++i) mask[i] = static_cast<std::uint8_t>(i * 3);
        host.SetSelection(mask);
    }
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    PassThrough(host);
    EXPECT_EQ(host.Run(false), kNoError);
    EXPECT_EQ(host.ContinueCalls(), 1);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, PassThroughRun,
    ::testing::Values(PassThroughCase{"NoPlanes", kModeRGB, 0, false, true},
                      PassThroughCase{"Gray8", kModeGrayScale, 1, false, false},
                      PassThroughCase{"Gray8Selection", kModeGrayScale, 1, false, true},
                      PassThroughCase{"GrayAlpha8", kModeGrayScale, 2, false, true},
                      PassThroughCase{"Gray16", kModeGray16, 1, false, true},
                      PassThroughCase{"RGB8", kModeRGB, 3, false, false},
                      PassThroughCase{"RGB8Selection", kModeRGB, 3, false, true},
                      PassThroughCase{"RGBA8Counted", kModeRGB, 4, false, false},
                      PassThroughCase{"RGB8TransparencyBeside", kModeRGB, 4, true, true},
                      PassThroughCase{"RGB16", kModeRGB48, 3, false, true},
                      PassThroughCase{"RGBA16Counted", kModeRGB48, 4, false, true}),
    [](const ::testing::TestParamInfo<PassThroughCase>& param) { return param.param.name; });

TEST(Protocol, StartNarrowsTheFilterRectangleToTheSelection) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(20, 30, 1, kModeGrayScale));
    std::vector<std::uint8_t> mask(600, 0);
    for (int row = 10; row < 20; ++row)
        for (int column = 5; column < 10; ++column) mask[static_cast<std::size_t>(row * 20 + column)] = 9;
    host.SetSelection(mask);
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    const Rect16 f = host.Record().filterRect;
    EXPECT_EQ(f.top, 10);
    EXPECT_EQ(f.left, 5);
    EXPECT_EQ(f.bottom, 20);
    EXPECT_EQ(f.right, 10);
    const auto* context = reinterpret_cast<const PluginContext*>(host.DataSlot());
    EXPECT_EQ(context->renderRect.top, 10);
    EXPECT_EQ(context->renderRect.right, 10);
}

TEST(Protocol, TheDepthMapRendersTheWholeImageDespiteASelection) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(8, 6, 1, kModeGrayScale));
    std::vector<std::uint8_t> mask(48, 0);
    mask[10] = 200;
    host.SetSelection(mask);
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    host.Settings()[10] = 1;  // depth
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    EXPECT_EQ(host.Record().filterRect.bottom, 6);
    EXPECT_EQ(host.Record().filterRect.right, 8);
}

TEST(Protocol, AZeroSizedImageEndsTheRunWithoutRendering) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(MakeImage(0, 5, 3, kModeRGB));
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    EXPECT_EQ(host.Record().filterRect.right, 0);
    EXPECT_EQ(host.Call(kSelectorContinue), kNoError);
    EXPECT_EQ(host.Record().inRect.bottom, 0);
    EXPECT_EQ(host.Record().outRect.bottom, 0);
    EXPECT_TRUE(host.ProgressCalls().empty());
    EXPECT_EQ(host.Call(kSelectorFinish), kNoError);
}

TEST(Protocol, AHostTestingOnlyTheRightEdgeStillSeesTheRunEnd) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(6, 5, 3, kModeRGB, 3u));
    host.SetSelection(std::vector<std::uint8_t>(30, 255));
    testhost::HostQuirks quirks;
    quirks.testsOnlyRight = true;
    quirks.noHandleProcs = true;
    quirks.nullPlatformData = true;
    host.SetQuirks(quirks);
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    PassThrough(host);
    EXPECT_EQ(host.Run(false), kNoError);
    EXPECT_EQ(host.ContinueCalls(), 1);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
}

TEST(Protocol, ADataSlotThatDoesNotPersistStartsAFreshContextOnTheSameBlock) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(6, 5, 3, kModeRGB, 4u));
    testhost::HostQuirks quirks;
    quirks.forgetsDataSlot = true;
    host.SetQuirks(quirks);
    ASSERT_EQ(host.Call(kSelectorParameters), kNoError);
    PassThrough(host);
    EXPECT_EQ(host.Run(false), kNoError);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
    EXPECT_EQ(host.Settings()[8], 5);  // the parameter block survives in the host's handle
}

// A host that does not deliver what was asked, at either of the run's fetches, ends the run with
// kHostInsufficient before the plug-in reads a byte of it (the dialog's fetches: DialogSequence).
class MisdeliveringHost : public ::testing::TestWithParam<testing::Misdelivery> {};

TEST_P(MisdeliveringHost, EndsTheRunCleanlyAtEveryFetch) {
    for (std::int32_t from = 1; from <= 2; ++from) testing::ExpectRunRefused(GetParam(), false, from);
}

INSTANTIATE_TEST_SUITE_P(EachWay, MisdeliveringHost, ::testing::ValuesIn(testing::Misdeliveries()),
                         testing::MisdeliveryName);

// The image changes under the run when the selection comes or goes between the requests; a whole mask
// appearing, or a mask left behind, would fit the buffers, so only the request's haveMask tells.
TEST(Protocol, AHostSwitchingTheSelectionOnOrOffAtAFetchIsRefused) {
    const testing::Misdelivery switches{"SelectionSwitched", [](testhost::HostQuirks& q) { q.switchesSelection = true; }};
    for (bool selected : {true, false})
        for (std::int32_t from = 1; from <= 2; ++from) testing::ExpectRunRefused(switches, false, from, selected);
}

TEST(Protocol, AHostChangingTheImageBetweenStartAndContinueIsRefused) {
    FilterHost host = testing::LinkedHost();
    host.SetImage(testing::RandomImage(8, 6, 3, kModeRGB, 2u));
    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
    ASSERT_EQ(host.Call(kSelectorStart), kNoError);
    host.SetImage(testing::RandomImage(8, 5, 3, kModeRGB, 2u));  // one row fewer, the buffers as they were
    EXPECT_EQ(host.Call(kSelectorContinue), kHostInsufficient);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
}

TEST(Protocol, AParameterBlockShorterThanTheSettingsIsRefused) {
    for (std::int32_t size : {1, 23, 24, 64}) {  // (Windows makes no movable block of 0 bytes)
        FilterHost host = testing::LinkedHost();
        host.SetImage(testing::RandomImage(6, 5, 3, kModeRGB, 9u));
        Handle block = NewHandle(size);
        ASSERT_NE(block, nullptr);
        host.Record().parameters = block;
        const std::int16_t outcome = host.Run(false);
        if (size < 24) {
            EXPECT_EQ(outcome, kBadParameters) << size;
            EXPECT_EQ(host.Output().samples, host.Input().samples) << size;
        } else {
            EXPECT_EQ(outcome, kNoError) << size;  // zeros: a disc of diameter 1, no correction
        }
        const Handle kept = host.Record().parameters;  // a copy: the packed record misaligns the field
        EXPECT_EQ(kept, block) << "the host's block is never replaced";
        DisposeHandle(block);
    }
}

}  // namespace
}  // namespace aperlume

namespace aperlume {
namespace {

TEST(Protocol, NoExceptionCrossesTheEntryPoint) {
    testhost::FilterHost host = testing::LinkedHost();
    host.SetImage(testhost::MakeImage(4, 4, 3, kModeRGB));
    testhost::HostQuirks quirks;
    quirks.advanceStateThrows = true;
    host.SetQuirks(quirks);
    host.Record().inRect = {0, 0, 4, 4};
    EXPECT_EQ(host.Call(kSelectorStart), kOutOfMemory);
    EXPECT_EQ(host.Record().inRect.right, 0);
    EXPECT_EQ(host.Record().outRect.right, 0);
}

}  // namespace
}  // namespace aperlume
