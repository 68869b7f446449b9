// The render of a rectangle of the host's image: kernel diameter and host scale, the highlight correction
// around the spread, the check points, and what a failed or cancelled render leaves behind (nothing
// written, nothing kept).
#include "host/host_render.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "host/movable_handle.h"
#include "host/process_state.h"
#include "tests/support/counting_check_points.h"
#include "tests/support/host_kind_scope.h"

namespace aperlume {
namespace {

using testing::CheckLog;

CheckLog* activeLog = nullptr;  // the host's procedures carry no context

Boolean CountingAbort() {
    ++activeLog->abortCalls;
    return activeLog->abortAtCall != 0 && activeLog->abortCalls == activeLog->abortAtCall ? 1 : 0;
}

void RecordingProgress(std::int32_t done, std::int32_t total) {
    activeLog->progressDone.push_back(done);
    activeLog->progressTotal.push_back(total);
}

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

// A whole image in the host's interleaved samples, with the output pre-filled by a marker so that any
// write shows, a parameter block, and counting abort and progress procedures.
class DriverHost {
public:
    static constexpr std::uint8_t kMarker = 0xA5;

    DriverHost(std::int16_t mode, std::int16_t planeCount, int width, int height, std::uint32_t seed = 1)
        : bytesPerSample_(mode == kModeGray16 || mode == kModeRGB48 ? 2 : 1),
          width_(width),
          height_(height) {
        record.imageMode = mode;
        record.planes = planeCount;
        parameters_ = NewHandle(sizeof(FilterParameters));
        record.parameters = parameters_;
        Settings() = kDefaultParameters;
        Settings().vertices = 1;
        activeLog = &log;
        record.abortProc = CountingAbort;
        record.progressProc = RecordingProgress;
        const int rowBytes = width * planeCount * bytesPerSample_;
        input.resize(static_cast<std::size_t>(rowBytes * height));
        output.assign(input.size(), kMarker);
        std::mt19937 generator(seed);
        for (int i = 0; i < width * height * planeCount; ++i) SetSample(i, static_cast<int>(generator() % 200) + 20);
        record.imageSize = Point16{static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
        record.wholeSize = record.imageSize;
        record.filterRect = Rect16{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
        record.inData = input.data();
        record.outData = output.data();
        record.inRowBytes = rowBytes;
        record.outRowBytes = rowBytes;
        renderRect = record.filterRect;
        Settings().amount = 2;
    }
    ~DriverHost() {
        activeLog = nullptr;
        DisposeHandle(parameters_);
    }
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    FilterParameters& Settings() { return *static_cast<FilterParameters*>(HandleData(parameters_)); }
    // A preview render in progress, whose checks are counted.
    void StartPreview() { preview_ = true; }

    // Sample i in interleaved order; 8-bit values are scaled up to the 16-bit range when stored as such.
    void SetSample(int i, int value8) {
        if (bytesPerSample_ == 1) {
            input[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value8);
        } else {
            const auto v = static_cast<std::uint16_t>(value8 * 128);
            std::memcpy(&input[static_cast<std::size_t>(2 * i)], &v, 2);
        }
    }

    void SetConstant(int value8) {
        for (int i = 0; i < width_ * height_ * record.planes; ++i) SetSample(i, value8);
    }

    void AddMask(std::uint8_t value) {
        mask.assign(static_cast<std::size_t>(width_ * height_), value);
        record.haveMask = 1;
        record.maskData = mask.data();
        record.maskRowBytes = width_;
    }

    bool OutputUntouched() const {
        for (std::uint8_t b : output)
            if (b != kMarker) return false;
        return true;
    }

    void Render() {
        PreviewCountingCheckPoints checkPoints(record, log, preview_);
        result = RenderLensBlur(record, renderRect, checkPoints);
    }

    FilterRecord record{};
    Rect renderRect{};
    Result result = kOk;
    CheckLog log;
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;
    std::vector<std::uint8_t> mask;

private:
    int bytesPerSample_;
    int width_;
    int height_;
    Handle parameters_ = nullptr;
    bool preview_ = false;
};

double ScaleForWidth(std::int16_t width) { return HostRenderScale(width); }

TEST(HostCheckPoints, AskTheHostAndForwardProgressToleratingMissingProcedures) {
    DriverHost host(kModeRGB, 3, 4, 4);
    HostCheckPoints checkPoints(host.record);
    host.log.abortAtCall = 2;
    EXPECT_FALSE(checkPoints.PreviewInterrupted());  // the final run has no preview
    EXPECT_FALSE(checkPoints.Stop());
    EXPECT_TRUE(checkPoints.Stop());
    EXPECT_EQ(host.log.abortCalls, 2);
    checkPoints.Progress(7, 47);
    EXPECT_EQ(host.log.progressDone, std::vector<std::int32_t>{7});
    EXPECT_EQ(host.log.progressTotal, std::vector<std::int32_t>{47});

    host.record.abortProc = nullptr;
    host.record.progressProc = nullptr;
    EXPECT_FALSE(checkPoints.Stop());
    checkPoints.Progress(8, 47);
    EXPECT_EQ(host.log.abortCalls, 2);
    EXPECT_EQ(host.log.progressDone.size(), 1u);
}

TEST(HostCheckPoints, ThePreviewCheckComesFirstAndSkipsTheHost) {
    DriverHost host(kModeRGB, 3, 4, 4);
    PreviewCountingCheckPoints checkPoints(host.record, host.log, true);
    host.log.previewStopAtCheck = 1;
    host.log.abortAtCall = 1;
    EXPECT_TRUE(checkPoints.Stop());
    EXPECT_EQ(host.log.previewChecks, 1);
    EXPECT_EQ(host.log.abortCalls, 0);
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
    EXPECT_EQ(scaled.output, reference.output);
    EXPECT_NE(scaled.output, unscaled.output);
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
                EXPECT_EQ(host.output, host.input) << mode << " " << correction << " " << brightness;
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
            EXPECT_EQ(host.output, host.input) << mode << " " << correction;
        }
    }
}

TEST(RenderLensBlur, OnlyTheColourPlanesAreCorrected) {
    // Gray with transparency, the transparency plane a copy of the gray one and never zero: without any
    // correction both planes blur alike; with it, the gray plane blurs in corrected space and the
    // transparency plane does not.
    auto render = [](std::int16_t brightness) {
        DriverHost host(kModeGrayScale, 2, 16, 12, 3);
        for (std::size_t i = 0; i < host.input.size(); i += 2) host.input[i + 1] = host.input[i];
        host.Settings().amount = 3;
        host.Settings().brightness = brightness;
        host.Render();
        EXPECT_EQ(host.result, kNoError);
        return host.output;
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
            EXPECT_EQ(host.output[at], host.input[at]);
        }
    }
    EXPECT_NE(host.output, host.input);
}

TEST(RenderLensBlur, EachMethodSpreadsAndUnknownMethodsSpreadNothing) {
    for (int method : {0, 1, 2}) {
        DriverHost host(kModeRGB, 3, 24, 20);
        host.Settings().method = static_cast<std::int16_t>(method);
        host.Render();
        EXPECT_EQ(host.result, kNoError) << method;
        EXPECT_NE(host.output, host.input) << method;
    }
    DriverHost none(kModeRGB, 3, 24, 20);
    none.Settings().method = 3;
    none.Render();
    EXPECT_EQ(none.result, kNoError);
    EXPECT_EQ(none.output, none.input);
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
    host.record.parameters = nullptr;
    host.Render();
    EXPECT_EQ(host.result, kBadParameters);
    EXPECT_TRUE(host.OutputUntouched());
}

// A render set up for the check-point and allocation sweeps: a selection used as a depth map, so that
// every buffer of the driver and of the depth path is taken.
void ConfigureFullRender(DriverHost& host) {
    host.AddMask(200);
    for (std::size_t i = 0; i < host.mask.size(); i += 3) host.mask[i] = static_cast<std::uint8_t>(i % 256);
    host.Settings().amount = 3;
    host.Settings().vertices = 6;
    host.Settings().depth = 1;
    host.Settings().focus = 90;
}

TEST(RenderLensBlur, AStopAtEveryCheckPointWritesNothingAndKeepsNothing) {
    // The host's abort (outside a preview the preview's check answers at once and is not counted), and
    // the preview's check, which comes first at every check point but the correction passes'.
    struct Stop {
        bool preview;
        std::int16_t mode;
        std::int32_t least;  // check points at least
    };
    // The method holds at least two: after its size codes and before its first round of bands (more
    // rounds on fewer cores, since the render takes them all).
    const Stop stops[] = {{false, kModeRGB, 3 + 3 + 2},  // two correction passes, the method's
                          {false, kModeRGB48, 3 + 3 + 2},
                          // The driver's own (start, after allocation, per colour plane both ways, around the
                          // method) and the method's (its opening check too).
                          {true, kModeRGB, 1 + 1 + 3 + 1 + 1 + 3 + 1 + 2}};
    for (const Stop& stop : stops) {
        DriverHost full(stop.mode, 3, 30, 25);
        ConfigureFullRender(full);
        if (stop.preview) full.StartPreview();
        full.Render();
        ASSERT_EQ(full.result, kNoError);
        const std::int32_t checkPoints = stop.preview ? full.log.previewChecks : full.log.abortCalls;
        ASSERT_GE(checkPoints, stop.least);
        const std::int64_t live = LiveAllocations();
        for (std::int32_t k = 1; k <= checkPoints; ++k) {
            DriverHost host(stop.mode, 3, 30, 25);
            ConfigureFullRender(host);
            if (stop.preview) {
                host.StartPreview();
                host.log.previewStopAtCheck = k;
            } else {
                host.log.abortAtCall = k;
            }
            host.Render();
            EXPECT_EQ(host.result, kUserCanceled) << k;
            EXPECT_TRUE(host.OutputUntouched()) << k;
            EXPECT_EQ(LiveAllocations(), live) << k;
        }
    }
}

TEST(RenderLensBlur, EveryFailedAllocationGivesOutOfMemoryWritesNothingAndKeepsNothing) {
    for (auto mode : {kModeRGB, kModeGray16}) {
        for (bool depth : {false, true}) {
            DriverHost full(mode, mode == kModeRGB ? 4 : 2, 21, 17);
            ConfigureFullRender(full);
            full.Settings().depth = depth ? 1 : 0;
            const std::int64_t before = AllocationsMade();
            full.Render();
            ASSERT_EQ(full.result, kNoError);
            const std::int64_t allocations = AllocationsMade() - before;
            ASSERT_GE(allocations, depth ? 10 : 7);
            const std::int64_t live = LiveAllocations();
            for (std::int64_t n = 1; n <= allocations; ++n) {
                DriverHost host(mode, mode == kModeRGB ? 4 : 2, 21, 17);
                ConfigureFullRender(host);
                host.Settings().depth = depth ? 1 : 0;
                FailAllocationNumber(n);
                host.Render();
                FailAllocationNumber(0);
                EXPECT_EQ(host.result, kOutOfMemory) << n;
                EXPECT_TRUE(host.OutputUntouched()) << n;
                EXPECT_EQ(LiveAllocations(), live) << n;
            }
        }
    }
}

}  // namespace
}  // namespace aperlume
