// The render of a rectangle of the host's image: kernel diameter and host scale, the highlight correction
// around the spread, the check points, and what a failed or cancelled render leaves behind (nothing
// written, nothing kept).
#include "host/host_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "host/image_requests.h"
#include "host/process_state.h"
#include "tests/support/counting_check_points.h"
#include "tests/support/host_kind_scope.h"
#include "tests/support/linked_host.h"

namespace aperlume {
namespace {

using testing::CheckLog;

// The host's check points, with a preview check that is counted and may stop the render (as the
// dialog's is, when a preview render is under way).
class PreviewCountingCheckPoints final : public HostCheckPoints {
public:
    PreviewCountingCheckPoints(const FilterRecord& record, CheckLog& log, bool preview)
        : HostCheckPoints(record), log_(log), preview_(preview) {}
    bool PreviewInterrupted() override {
        if (!preview_) return false;
        ++log_.previewChecks;
        return log_.previewStopAtCheck != 0 && log_.previewChecks == log_.previewStopAtCheck;
    }

private:
    CheckLog& log_;
    bool preview_;
};

// Our host with a random image, an output document pre-filled by a marker so that any write shows, and
// a parameter block; Render delivers the whole image as it stands then (after the test's edits) and
// renders the render rectangle into the host's output buffer.
class DriverHost {
public:
    static constexpr std::uint8_t kMarker = 0xA5;

    DriverHost(std::int16_t mode, std::int16_t planeCount, int width, int height, std::uint32_t seed = 1) {
        testhost::HostImage image = testhost::MakeImage(width, height, planeCount, mode);
        std::mt19937 generator(seed);
        const std::uint32_t scale = image.BytesPerSample() == 2 ? 128 : 1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int p = 0; p < planeCount; ++p) image.SetSample(y, x, p, static_cast<std::uint32_t>(generator() % 200 + 20) * scale);
        host.SetImage(image);
        std::fill(image.samples.begin(), image.samples.end(), kMarker);
        host.SetOutputImage(image);
        Settings().vertices = 1;
        Settings().amount = 2;
        renderRect = Rect16{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
    }

    FilterParameters& Settings() { return block_.Settings(); }
    FilterRecord& Record() { return host.Record(); }
    // A preview render in progress, whose checks are counted.
    void StartPreview() { preview_ = true; }
    void AbortAtPoll(std::int32_t poll) {
        quirks_.abortAtPoll = poll;
        host.SetQuirks(quirks_);
    }
    void SetConstant(std::uint32_t value8) {
        testhost::HostImage& image = host.Input();
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                for (int p = 0; p < image.planes; ++p)
                    image.SetSample(y, x, p, value8 * (image.BytesPerSample() == 2 ? 128u : 1u));
    }
    void AddMask(std::uint8_t value) {
        mask.assign(static_cast<std::size_t>(host.Input().width * host.Input().height), value);
    }

    std::vector<std::uint8_t>& Input() { return host.Input().samples; }
    const std::vector<std::uint8_t>& Output() {
        host.CommitOutput();
        return host.Output().samples;
    }
    bool OutputUntouched() {
        for (std::uint8_t b : Output())
            if (b != kMarker) return false;
        return true;
    }

    void Render(bool withBlock = true) {
        if (!mask.empty()) host.SetSelection(mask);
        host.PrepareRecord();
        Record().parameters = block_.Get();
        ASSERT_EQ(FetchWholeImage(Record()), kNoError);
        if (!withBlock) Record().parameters = nullptr;
        PreviewCountingCheckPoints checkPoints(Record(), log, preview_);
        result = RenderLensBlur(Record(), renderRect, checkPoints);
    }

    testhost::FilterHost host = testing::LinkedHost();
    Rect renderRect{};
    Result result = kOk;
    CheckLog log;  // the preview's checks
    std::vector<std::uint8_t> mask;

private:
    testing::ParameterBlock block_;
    testhost::HostQuirks quirks_;
    bool preview_ = false;
};

double ScaleForWidth(std::int16_t width) { return HostRenderScale(width); }

TEST(HostCheckPoints, AskTheHostAndForwardProgressToleratingMissingProcedures) {
    DriverHost host(kModeRGB, 3, 4, 4);
    host.AbortAtPoll(2);
    host.host.PrepareRecord();
    HostCheckPoints checkPoints(host.Record());
    EXPECT_FALSE(checkPoints.PreviewInterrupted());  // the final run has no preview
    EXPECT_FALSE(checkPoints.Stop());
    EXPECT_TRUE(checkPoints.Stop());
    EXPECT_EQ(host.host.AbortPolls(), 2);
    checkPoints.Progress(7, 47);
    ASSERT_EQ(host.host.ProgressCalls().size(), 1u);
    EXPECT_EQ(host.host.ProgressCalls()[0].done, 7);
    EXPECT_EQ(host.host.ProgressCalls()[0].total, 47);

    host.Record().abortProc = nullptr;
    host.Record().progressProc = nullptr;
    EXPECT_FALSE(checkPoints.Stop());
    checkPoints.Progress(8, 47);
    EXPECT_EQ(host.host.AbortPolls(), 2);
    EXPECT_EQ(host.host.ProgressCalls().size(), 1u);
}

TEST(HostCheckPoints, ThePreviewCheckComesFirstAndSkipsTheHost) {
    DriverHost host(kModeRGB, 3, 4, 4);
    host.AbortAtPoll(1);
    host.host.PrepareRecord();
    PreviewCountingCheckPoints checkPoints(host.Record(), host.log, true);
    host.log.previewStopAtCheck = 1;
    EXPECT_TRUE(checkPoints.Stop());
    EXPECT_EQ(host.log.previewChecks, 1);
    EXPECT_EQ(host.host.AbortPolls(), 0);
}

TEST(HostRenderScale, RemembersTheFullFrameWidth) {
    // Whatever an earlier test left: a width no int16 frame can be a quarter or half of becomes the full one.
    EXPECT_EQ(ScaleForWidth(30001), 1.0);
    EXPECT_EQ(ScaleForWidth(1000), 1.0);
    EXPECT_EQ(ScaleForWidth(250), 0.25);
    EXPECT_EQ(ScaleForWidth(500), 0.5);
    EXPECT_EQ(ScaleForWidth(640), 1.0);
    EXPECT_EQ(ScaleForWidth(640), 1.0);
    EXPECT_EQ(ScaleForWidth(160), 0.25);
    EXPECT_EQ(ScaleForWidth(320), 0.5);
    EXPECT_EQ(ScaleForWidth(1000), 1.0);
    EXPECT_EQ(ScaleForWidth(500), 0.5);  // 1000 is the full width again
    // Odd widths: the scaled frames are the full width times 0.5 or 0.25, rounded up.
    EXPECT_EQ(ScaleForWidth(1001), 1.0);
    EXPECT_EQ(ScaleForWidth(501), 0.5);
    EXPECT_EQ(ScaleForWidth(251), 0.25);
    EXPECT_EQ(ScaleForWidth(1001), 1.0);
    // After a frame 2 wide, one 1 wide is both its quarter and its half: the quarter test comes first.
    EXPECT_EQ(ScaleForWidth(2), 1.0);
    EXPECT_EQ(ScaleForWidth(1), 0.25);
}

TEST(RenderLensBlur, HalfScaleFrameOfAScalingHostUsesTheScaledDiameter) {
    DriverHost scaled(kModeRGB, 3, 40, 30);
    scaled.Settings().amount = 5;  // D 11, at half scale 7
    {
        testing::HostKindScope kind(HostAfterEffects);
        EXPECT_EQ(ScaleForWidth(30001), 1.0);
        EXPECT_EQ(ScaleForWidth(80), 1.0);  // the full frame is twice as wide as this one
        scaled.Render();
    }
    DriverHost reference(kModeRGB, 3, 40, 30);
    reference.Settings().amount = 3;  // D 7
    reference.Render();
    DriverHost unscaled(kModeRGB, 3, 40, 30);
    unscaled.Settings().amount = 5;
    unscaled.Render();
    ASSERT_EQ(scaled.result, kNoError);
    EXPECT_EQ(scaled.Output(), reference.Output());
    EXPECT_NE(scaled.Output(), unscaled.Output());
}

TEST(RenderLensBlur, CorrectionAndItsInverseRoundTripWithoutSpreading) {
    for (auto mode : {kModeRGB, kModeRGB48, kModeGrayScale, kModeGray16}) {
        const std::int16_t planes = mode == kModeRGB || mode == kModeRGB48 ? 4 : 2;
        for (int correction : {0, 1, 2}) {
            for (int brightness : {1, 25, 100}) {
                DriverHost host(mode, planes, 13, 7);
                host.Settings().method = 5;
                host.Settings().correction = static_cast<std::int16_t>(correction);
                host.Settings().brightness = static_cast<std::int16_t>(brightness);
                host.Render();
                ASSERT_EQ(host.result, kNoError);
                EXPECT_EQ(host.Output(), host.Input()) << mode << " " << correction << " " << brightness;
            }
        }
    }
}

TEST(RenderLensBlur, ConstantImageStaysConstantThroughBothCorrections) {
    for (auto mode : {kModeRGB, kModeRGB48}) {
        for (int correction : {0, 1}) {
            DriverHost host(mode, 3, 19, 11);
            host.SetConstant(150);
            host.Settings().amount = 4;
            host.Settings().vertices = 5;
            host.Settings().correction = static_cast<std::int16_t>(correction);
            host.Render();
            ASSERT_EQ(host.result, kNoError);
            EXPECT_EQ(host.Output(), host.Input()) << mode << " " << correction;
        }
    }
}

TEST(RenderLensBlur, OnlyTheColourPlanesAreCorrected) {
    // Gray with transparency, the transparency plane a copy of the gray one and never zero: without any
    // correction both planes blur alike; with it, the gray plane blurs in corrected space and the
    // transparency plane does not.
    auto render = [](std::int16_t brightness) {
        DriverHost host(kModeGrayScale, 2, 16, 12, 3);
        for (std::size_t i = 0; i < host.Input().size(); i += 2) host.Input()[i + 1] = host.Input()[i];
        host.Settings().amount = 3;
        host.Settings().brightness = brightness;
        host.Render();
        EXPECT_EQ(host.result, kNoError);
        return host.Output();
    };
    const std::vector<std::uint8_t> plain = render(0);
    const std::vector<std::uint8_t> corrected = render(30);
    bool grayDiffers = false;
    for (std::size_t i = 0; i < plain.size(); i += 2) {
        EXPECT_EQ(plain[i], plain[i + 1]);
        EXPECT_EQ(corrected[i + 1], plain[i + 1]);
        grayDiffers = grayDiffers || corrected[i] != plain[i];
    }
    EXPECT_TRUE(grayDiffers);
}

TEST(RenderLensBlur, SelectionBlendsTheResultWithTheSource) {
    DriverHost host(kModeRGB, 3, 12, 10);
    host.AddMask(255);
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 10; ++y) host.mask[static_cast<std::size_t>(y * 12 + x)] = 0;
    host.Render();
    ASSERT_EQ(host.result, kNoError);
    for (int y = 0; y < 10; ++y) {
        for (int i = 0; i < 6 * 3; ++i) {
            const std::size_t at = static_cast<std::size_t>(y * 36 + i);
            EXPECT_EQ(host.Output()[at], host.Input()[at]);
        }
    }
    EXPECT_NE(host.Output(), host.Input());
}

TEST(RenderLensBlur, EachMethodSpreadsAndUnknownMethodsSpreadNothing) {
    for (int method : {0, 1, 2}) {
        DriverHost host(kModeRGB, 3, 24, 20);
        host.Settings().method = static_cast<std::int16_t>(method);
        host.Render();
        EXPECT_EQ(host.result, kNoError) << method;
        EXPECT_NE(host.Output(), host.Input()) << method;
    }
    DriverHost none(kModeRGB, 3, 24, 20);
    none.Settings().method = 3;
    none.Render();
    EXPECT_EQ(none.result, kNoError);
    EXPECT_EQ(none.Output(), none.Input());
}

TEST(RenderLensBlur, EmptyRectangleReturnsAtOnce) {
    DriverHost host(kModeRGB, 3, 10, 10);
    host.renderRect = Rect16{4, 4, 4, 9};
    host.result = kBadMode;  // any earlier outcome is replaced
    const std::int64_t made = AllocationsMade();
    host.Render();
    EXPECT_EQ(host.result, kNoError);
    EXPECT_TRUE(host.OutputUntouched());
    EXPECT_EQ(AllocationsMade(), made);
}

TEST(RenderLensBlur, MoreThanEightPlanesAreRefusedBeforeTakingMemory) {
    DriverHost host(kModeRGB, 9, 6, 5);
    const std::int64_t made = AllocationsMade();
    host.Render();
    EXPECT_EQ(host.result, kBadMode);
    EXPECT_TRUE(host.OutputUntouched());
    EXPECT_EQ(AllocationsMade(), made);
}

TEST(RenderLensBlur, MissingParameterBlockIsABadParameter) {
    DriverHost host(kModeRGB, 3, 6, 5);
    host.Render(/*withBlock=*/false);
    EXPECT_EQ(host.result, kBadParameters);
    EXPECT_TRUE(host.OutputUntouched());
}

TEST(RenderLensBlur, APreviewStopAtEveryCheckPointWritesNothingAndKeepsNothing) {
    // The preview's check comes first at every check point but the correction passes'. (The host's
    // abort and failed allocations at every point of whole runs: FailureSweep.)
    auto configure = [](DriverHost& host) {
        host.AddMask(200);
        for (std::size_t i = 0; i < host.mask.size(); i += 3) host.mask[i] = static_cast<std::uint8_t>(i % 256);
        host.Settings().amount = 3;
        host.Settings().vertices = 6;
        host.Settings().depth = 1;  // the selection as depth map: every buffer of the depth path is taken
        host.Settings().focus = 90;
        host.StartPreview();
    };
    DriverHost full(kModeRGB, 3, 30, 25);
    configure(full);
    full.Render();
    ASSERT_EQ(full.result, kNoError);
    // The driver's own (start, after allocation, per colour plane both ways, around the method) and the
    // method's: at least two, after its size codes and before its first round of bands (more rounds on
    // fewer cores, since the render takes them all).
    ASSERT_GE(full.log.previewChecks, 1 + 1 + 3 + 1 + 1 + 3 + 1 + 2);
    const std::int64_t live = LiveAllocations();
    for (std::int32_t k = 1; k <= full.log.previewChecks; ++k) {
        DriverHost host(kModeRGB, 3, 30, 25);
        configure(host);
        host.log.previewStopAtCheck = k;
        host.Render();
        EXPECT_EQ(host.result, kUserCanceled) << k;
        EXPECT_TRUE(host.OutputUntouched()) << k;
        EXPECT_EQ(LiveAllocations(), live) << k;
    }
}

}  // namespace
}  // namespace aperlume
