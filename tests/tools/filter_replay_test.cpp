// Replaying the filter as a host replays a recorded action, against a scripted stand-in for the plug-in:
// the selector sequence has no parameters call, the settings arrive as a descriptor with play
// information 0, progress and cancellation reach the tool, and the descriptor written at finish is
// what the tool reports as recorded.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <map>
#include <vector>

#include "tools/aperlume/filter_replay.h"

namespace aperlume::tool {
namespace {

// What the stand-in saw and what it is told to do; the entry point carries no context.
struct StandIn {
    std::vector<std::int16_t> selectors;
    std::map<DescriptorKeyID, std::int64_t> readValues;
    std::int16_t playInfo = -1;
    bool sawDescriptorParameters = false;
    bool abortAnswered = false;
    std::int16_t startResult = 0;
    bool writeAtFinish = true;
    bool pollAbortUntilYes = false;
    std::int16_t imageMode = -1;
    std::int16_t planes = -1;
};
StandIn* standIn = nullptr;

void ReadDescriptor(PIDescriptorParameters& parameters, const HandleProcs* handles) {
    ReadDescriptorProcs& procs = *parameters.readDescriptorProcs;
    PIReadDescriptor token = procs.openReadDescriptorProc(parameters.descriptor, nullptr);
    ASSERT_NE(token, nullptr);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    std::int32_t flags = 0;
    while (procs.getKeyProc(token, &key, &type, &flags)) {
        if (key == FourCC("Mthd") || key == FourCC("Cmpn")) {
            DescriptorEnumID value = 0;
            procs.getEnumeratedProc(token, &value);
            standIn->readValues[key] = value;
        } else {
            std::int32_t value = 0;
            procs.getIntegerProc(token, &value);
            standIn->readValues[key] = value;
        }
    }
    procs.closeReadDescriptorProc(token);
    // As the plug-in does: the descriptor read is released and cleared.
    handles->disposeProc(parameters.descriptor);
    parameters.descriptor = nullptr;
}

void WriteDescriptor(PIDescriptorParameters& parameters, const HandleProcs* handles) {
    WriteDescriptorProcs& procs = *parameters.writeDescriptorProcs;
    PIWriteDescriptor token = procs.openWriteDescriptorProc();
    ASSERT_NE(token, nullptr);
    procs.putIntegerProc(token, FourCC("Amnt"), 42);
    procs.putIntegerProc(token, FourCC("Peak"), 7);
    procs.putEnumeratedProc(token, FourCC("Mthd"), FourCC("Mthd"), FourCC("MFFT"));
    procs.putEnumeratedProc(token, FourCC("Cmpn"), FourCC("Cmpn"), FourCC("CExp"));
    Handle written = nullptr;
    procs.closeWriteDescriptorProc(token, &written);
    if (parameters.descriptor != nullptr) handles->disposeProc(parameters.descriptor);
    parameters.descriptor = written;
}

void StandInEntry(std::int16_t selector, void* record, std::intptr_t*, std::int16_t* result) {
    *result = 0;
    standIn->selectors.push_back(selector);
    auto* filterRecord = static_cast<FilterRecord*>(record);
    PIDescriptorParameters* parameters = filterRecord->descriptorParameters;
    standIn->sawDescriptorParameters = parameters != nullptr;
    if (parameters == nullptr) return;
    if (selector == kSelectorStart) {
        standIn->playInfo = parameters->playInfo;
        standIn->imageMode = filterRecord->imageMode;
        standIn->planes = filterRecord->planes;
        ReadDescriptor(*parameters, filterRecord->handleProcs);
        if (standIn->startResult != 0) {
            *result = standIn->startResult;
            return;
        }
        filterRecord->inRect = filterRecord->outRect = {0, 0, filterRecord->imageSize.v, filterRecord->imageSize.h};
        filterRecord->outLoPlane = filterRecord->inLoPlane = 0;
        filterRecord->outHiPlane = filterRecord->inHiPlane = static_cast<std::int16_t>(filterRecord->planes - 1);
        *result = filterRecord->advanceState();
    } else if (selector == kSelectorContinue) {
        filterRecord->progressProc(1, 4);
        filterRecord->progressProc(4, 4);
        if (standIn->pollAbortUntilYes) {
            for (int poll = 0; poll < 100 && !standIn->abortAnswered; ++poll)
                standIn->abortAnswered = filterRecord->abortProc() != 0;
            if (standIn->abortAnswered) *result = kUserCanceled;
        }
        // Invert the first sample so that the tool can see the output it gets is the plug-in's.
        auto* out = static_cast<std::uint8_t*>(filterRecord->outData);
        out[0] = static_cast<std::uint8_t>(255 - out[0]);
        filterRecord->inRect = filterRecord->outRect = filterRecord->maskRect = Rect16{};
    } else if (selector == kSelectorFinish && standIn->writeAtFinish) {
        WriteDescriptor(*parameters, filterRecord->handleProcs);
    }
}

class FilterReplay : public ::testing::Test {
protected:
    void SetUp() override {
        standIn = &state_;
        job_.image = EmptyToolImage(4, 3, 3, 8);
        job_.image.samples.assign(job_.image.RowBytes() * 3, 0);
        job_.image.samples[0] = 10;
        job_.settings = SentSettings();
    }
    void TearDown() override { standIn = nullptr; }

    static FilterParameters SentSettings() {
        return FilterParameters{9, 31, 6, 20, -40, 33, 1, 0, 1, 1, 1, 77};
    }

    StandIn state_;
    ReplayJob job_;
};

TEST_F(FilterReplay, DrivesTheSequenceOfAReplayWithTheSettingsAsADescriptor) {
    const ReplayOutcome outcome = ReplayFilter(&StandInEntry, job_);
    EXPECT_EQ(outcome.result, kNoError);
    EXPECT_EQ(state_.selectors,
              (std::vector<std::int16_t>{kSelectorPrepare, kSelectorStart, kSelectorContinue, kSelectorFinish}));
    EXPECT_TRUE(state_.sawDescriptorParameters);
    EXPECT_EQ(state_.playInfo, 0);  // no dialog
    const std::map<DescriptorKeyID, std::int64_t> expected = {
        {FourCC("Amnt"), 9},  {FourCC("srgh"), 31}, {FourCC("Peak"), 6},          {FourCC("Edg "), 20},
        {FourCC("Rt  "), -40}, {FourCC("Rtt "), 33}, {FourCC("Soft"), 1},          {FourCC("Mthd"), FourCC("MMC ")},
        {FourCC("Cmpn"), FourCC("CExp")},            {FourCC("Dpth"), 1},          {FourCC("Fcs "), 77}};
    EXPECT_EQ(state_.readValues, expected);
    EXPECT_EQ(outcome.output.samples[0], 245u);
}

TEST_F(FilterReplay, EveryChannelCountIsServedInTheHostsModeAndComesBackAsItWent) {
    struct Case {
        std::int32_t channels, bitDepth;
        std::int16_t mode;
    };
    const Case cases[] = {{1, 8, kModeGrayScale}, {2, 8, kModeGrayScale}, {3, 8, kModeRGB},   {4, 8, kModeRGB},
                          {1, 16, kModeGray16},   {2, 16, kModeGray16},   {3, 16, kModeRGB48}, {4, 16, kModeRGB48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels of " + std::to_string(c.bitDepth) + " bits");
        state_ = StandIn{};
        job_.image = EmptyToolImage(4, 3, c.channels, c.bitDepth);
        job_.image.samples.assign(job_.image.RowBytes() * 3, 7);
        const ReplayOutcome outcome = ReplayFilter(&StandInEntry, job_);
        ASSERT_EQ(outcome.result, kNoError);
        EXPECT_EQ(state_.imageMode, c.mode);
        EXPECT_EQ(state_.planes, c.channels);
        EXPECT_EQ(outcome.output.channels, c.channels);
        EXPECT_EQ(outcome.output.bitDepth, c.bitDepth);
        std::vector<std::uint8_t> expected = job_.image.samples;
        expected[0] = 255 - 7;
        EXPECT_EQ(outcome.output.samples, expected);
    }
}

TEST_F(FilterReplay, ReportsTheDescriptorWrittenAtFinishAndReleasesIt) {
    const testhost::FilterHost counter(nullptr);  // host handles are counted process-wide
    const std::int32_t handlesBefore = counter.HostHandlesLive();
    const ReplayOutcome outcome = ReplayFilter(&StandInEntry, job_);
    EXPECT_EQ(counter.HostHandlesLive(), handlesBefore);
    ASSERT_TRUE(outcome.recorded);
    // The keys written replace the values sent; the others keep them.
    FilterParameters expected = SentSettings();
    expected.amount = 42;
    expected.vertices = 7;
    expected.method = 2;
    expected.correction = 1;
    EXPECT_EQ(std::memcmp(&outcome.recordedSettings, &expected, sizeof expected), 0)
        << outcome.recordedSettings.amount << " " << outcome.recordedSettings.method;
}

TEST_F(FilterReplay, AStandInThatRecordsNothingIsReportedAsSuch) {
    state_.writeAtFinish = false;
    const ReplayOutcome outcome = ReplayFilter(&StandInEntry, job_);
    EXPECT_EQ(outcome.result, kNoError);
    EXPECT_FALSE(outcome.recorded);
}

TEST_F(FilterReplay, PassesProgressOnAndEndsOnAFailedStart) {
    std::vector<std::pair<std::int32_t, std::int32_t>> reports;
    job_.progress = [&](std::int32_t done, std::int32_t total) { reports.emplace_back(done, total); };
    ASSERT_EQ(ReplayFilter(&StandInEntry, job_).result, kNoError);
    EXPECT_EQ(reports, (std::vector<std::pair<std::int32_t, std::int32_t>>{{1, 4}, {4, 4}}));

    state_ = StandIn{};
    state_.startResult = kBadMode;
    const ReplayOutcome failed = ReplayFilter(&StandInEntry, job_);
    EXPECT_EQ(failed.result, kBadMode);
    EXPECT_FALSE(failed.recorded);
    EXPECT_EQ(state_.selectors, (std::vector<std::int16_t>{kSelectorPrepare, kSelectorStart}));
}

TEST_F(FilterReplay, TheCancelFlagMakesTheAbortProcedureAnswerYes) {
    state_.pollAbortUntilYes = true;
    volatile std::sig_atomic_t cancel = 0;
    job_.cancel = &cancel;
    EXPECT_EQ(ReplayFilter(&StandInEntry, job_).result, kNoError);
    EXPECT_FALSE(state_.abortAnswered);

    state_ = StandIn{};
    state_.pollAbortUntilYes = true;
    cancel = 1;
    EXPECT_EQ(ReplayFilter(&StandInEntry, job_).result, kUserCanceled);
    EXPECT_TRUE(state_.abortAnswered);
}

TEST(ResultCodeText, PutsThePluginsCodesInWords) {
    EXPECT_EQ(ResultCodeText(-108), "out of memory");
    EXPECT_EQ(ResultCodeText(-128), "cancelled");
    EXPECT_EQ(ResultCodeText(-30100), "bad parameters");
    EXPECT_EQ(ResultCodeText(-30101), "image mode not supported");
    EXPECT_EQ(ResultCodeText(-30900), "the image was not delivered as the plug-in asked");
    EXPECT_EQ(ResultCodeText(-1715), "error -1715");
    EXPECT_EQ(ResultCodeText(7), "error 7");
}

}  // namespace
}  // namespace aperlume::tool
