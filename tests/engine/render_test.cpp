// The render as a library call: the kernel diameter, what the render refuses before any work, and what
// every method must hand back through the highlight correction: black where nothing bright arrives, and
// only finite values.
#include "engine/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/working_memory.h"
#include "engine/aperture_kernel.h"
#include "engine_fixture.h"
#include "method_harness.h"

namespace aperlume {
namespace {

TEST(KernelDiameter, IsOddAndFollowsAmountAndScale) {
    EXPECT_EQ(KernelDiameter(0, 1.0), 1);
    EXPECT_EQ(KernelDiameter(5, 1.0), 11);
    EXPECT_EQ(KernelDiameter(5, 0.5), 7);   // 11 * 0.5 + 0.5 = 6, made odd
    EXPECT_EQ(KernelDiameter(5, 0.25), 3);  // 3.25 truncates to 3
    EXPECT_EQ(KernelDiameter(100, 1.0), 201);
    EXPECT_EQ(KernelDiameter(0, 0.25), 1);
    EXPECT_EQ(KernelDiameter(-4, 1.0), 1);  // a scripted negative amount blurs as little as 0
}

TEST(Render, ViewsThatDoNotFitTheJobAreRefusedBeforeAnyWork) {
    enginetest::EngineRun run(kModeRGB, 3);
    std::vector<std::vector<float>> planes(3, std::vector<float>(6 * 4, 0.5f));
    std::vector<PlaneView> views = enginetest::Views(planes, 6, 4);
    const std::int64_t made = AllocationsMade();
    views[1].width = 5;
    EXPECT_EQ(Render(run.Job(3, 6, 4), views, nullptr, run.checkPoints), kBadParameters);
    views[1].width = 6;
    views.pop_back();
    EXPECT_EQ(Render(run.Job(3, 6, 4), views, nullptr, run.checkPoints), kBadParameters);
    views.assign(kMaxPlanes + 1, views[0]);
    EXPECT_EQ(Render(run.Job(3, 6, 4), views, nullptr, run.checkPoints), kBadMode);
    EXPECT_EQ(AllocationsMade(), made);
    EXPECT_EQ(run.log.abortCalls, 0);
}

// Renders `planes` in place with the run's settings; the outcome goes to run.result.
void RenderInPlace(enginetest::EngineRun& run, std::int32_t diameter, std::int32_t width, std::int32_t height,
                   std::vector<enginetest::Plane>& planes) {
    const std::vector<PlaneView> views = enginetest::Views(planes, width, height);
    run.result = Render(run.Job(diameter, width, height), views, nullptr, run.checkPoints);
}

class RenderWithEveryMethod : public ::testing::TestWithParam<std::int16_t> {};

// Points of 250 on black, every fourth pixel, spread into rings (the centre weighs 0) at the strongest
// gamma. A pixel that no point reaches with a positive weight must come back exactly black: this is
// where the FFT's rounding noise lifted black through the inverse gamma, and where its ringing went
// below 0 and came back as NaN (the points themselves).
TEST_P(RenderWithEveryMethod, PixelsNoHighlightReachesStayExactlyBlack) {
    const std::int32_t width = 36;
    const std::int32_t height = 28;
    const std::int32_t diameter = 7;
    const std::int32_t r = diameter / 2;
    enginetest::EngineRun run(kModeGrayScale, 1);
    run.Settings() = enginetest::Aperture(6, 60, 100, 0, 0);
    run.Settings().brightness = 100;
    run.Settings().method = GetParam();
    // No point on the outermost rows and columns, so that the FFT's replicated edges stay black too.
    std::vector<enginetest::Plane> planes(1, enginetest::Plane(width * height, 0.0f));
    for (std::int32_t y = 2; y < height - 1; y += 4)
        for (std::int32_t x = 2; x < width - 1; x += 4) planes[0][y * width + x] = 250.0f / 255.0f;
    const enginetest::Plane input = planes[0];
    RenderInPlace(run, diameter, width, height, planes);
    ASSERT_EQ(run.result, kNoError);

    std::vector<float> aperture(diameter * diameter);
    BuildApertureKernel(run.Settings(), diameter, diameter, diameter, aperture.data());
    std::int32_t black = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            bool reached = false;
            for (std::int32_t dy = -r; dy <= r; ++dy)
                for (std::int32_t dx = -r; dx <= r; ++dx) {
                    const std::int32_t sx = x - dx;
                    const std::int32_t sy = y - dy;
                    const bool lit = sx >= 0 && sx < width && sy >= 0 && sy < height && input[sy * width + sx] > 0.0f;
                    reached = reached || (lit && aperture[(dy + r) * diameter + dx + r] > 0.0f);
                }
            if (reached) continue;
            ++black;
            EXPECT_EQ(planes[0][y * width + x], 0.0f) << x << "," << y;
        }
    }
    EXPECT_GT(black, width * height / 4);  // the points themselves and the gaps between the rings
}

// A correction so strong (a brightness only scripting can set) that bright tones overflow to infinity
// before the spreading, which then meets infinite sums, inf - inf and inf * 0: nothing non-finite may
// come back, on the colour planes or the alpha plane.
TEST_P(RenderWithEveryMethod, EveryValueHandedBackIsFinite) {
    const std::int32_t width = 19;
    const std::int32_t height = 13;
    enginetest::EngineRun run(kModeRGB, 4);
    run.Settings() = enginetest::Aperture(6, 40, 60, 10, 0);
    run.Settings().method = GetParam();
    run.Settings().correction = 1;
    run.Settings().brightness = 1000;
    std::vector<enginetest::Plane> planes;
    for (std::uint32_t p = 0; p < 4; ++p) planes.push_back(enginetest::RandomPlane(width, height, 30 + p));
    for (std::int32_t x = 0; x < width; ++x) planes[3][x] = 0.0f;  // a fully transparent row
    RenderInPlace(run, 5, width, height, planes);
    ASSERT_EQ(run.result, kNoError);
    for (std::size_t p = 0; p < planes.size(); ++p)
        for (std::size_t i = 0; i < planes[p].size(); ++i) ASSERT_TRUE(std::isfinite(planes[p][i])) << p << ", " << i;
}

std::string MethodName(const ::testing::TestParamInfo<std::int16_t>& tested) {
    const char* const names[] = {"Direct", "MonteCarlo", "Fft"};
    return names[tested.param];
}

INSTANTIATE_TEST_SUITE_P(AllMethods, RenderWithEveryMethod, ::testing::Values(0, 1, 2), MethodName);

// The FFT method's noise floor must stay below the tones it can tell from black: with white in the
// plane, 1 level at brightness 25 and 50, 11 levels at 100, on an even ground far from the white. They
// keep their value within a twentieth of a level (the noise moves 11 levels at 100 by about 0.02).
TEST(RenderWithFft, TonesAboveTheNoiseFloorKeepTheirValue) {
    const std::int32_t width = 40;
    const std::int32_t height = 12;
    for (const auto& [brightness, level] : {std::pair{25, 1}, std::pair{50, 1}, std::pair{100, 11}}) {
        enginetest::EngineRun run(kModeGrayScale, 1);
        run.Settings().method = 2;
        run.Settings().brightness = static_cast<std::int16_t>(brightness);
        const float tone = static_cast<float>(level) / 255.0f;
        std::vector<enginetest::Plane> planes(1, enginetest::Plane(width * height, tone));
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < 10; ++x) planes[0][y * width + x] = 1.0f;
        RenderInPlace(run, 7, width, height, planes);
        ASSERT_EQ(run.result, kNoError);
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 20; x < width; ++x)
                ASSERT_NEAR(planes[0][y * width + x], tone, 0.05 / 255) << "brightness " << brightness << " at " << x;
    }
}

}  // namespace
}  // namespace aperlume
