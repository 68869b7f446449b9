// What every spreading method must do alike: constant planes stay constant up to the border, an
// aperture without weight leaves the planes as they were, every failed allocation and every cancel at
// a check point ends the run with its code and releases everything.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/methods.h"
#include "engine/random.h"
#include "method_harness.h"

namespace aperlume {
namespace {

using enginetest::EngineRun;
using enginetest::Plane;
using enginetest::RandomPlane;

struct MethodCase {
    const char* name;
    SpreadMethod method;
    float constantTolerance;       // a mean of equal values, as far as the method's sums round
    std::int64_t leastAllocations;  // a complete run takes at least these many buffers
    std::int64_t leastWithDepth;    // the same with a depth map
};

class EverySpreadMethod : public ::testing::TestWithParam<MethodCase> {
protected:
    std::vector<Plane> Run(EngineRun& run, std::int32_t diameter, std::int32_t width, std::int32_t height,
                           std::vector<Plane> planes, const float* depthMap = nullptr) {
        return enginetest::RunMethod(GetParam().method, run, diameter, width, height, std::move(planes), depthMap);
    }
};

// Depth values as a selection gives them, with a third of the pixels at focus 0.
std::vector<float> DepthMap(std::int32_t width, std::int32_t height) {
    std::vector<float> depth(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t j = 0; j < depth.size(); ++j) depth[j] = j % 3 == 0 ? 0.0f : static_cast<float>(static_cast<double>(j * 37 % 256) / 255.0);
    return depth;
}

TEST_P(EverySpreadMethod, ConstantPlanesStayConstantUpToTheBorder) {
    // The kernel is taller than the image: the border needs no extension of it.
    for (int vertices : {1, 2, 3, 6}) {
        EngineRun run(kModeRGB, 4);
        run.Settings() = enginetest::Aperture(vertices, 40, 60, 33, 1);
        const std::size_t size = 23 * 9;
        const std::vector<float> values = {0.3f, 0.7f, 0.0f, 1.0f};
        std::vector<Plane> input;
        for (float v : values) input.emplace_back(size, v);
        const std::vector<Plane> output = Run(run, 15, 23, 9, input);
        ASSERT_EQ(run.result, kNoError);
        for (std::size_t p = 0; p < values.size(); ++p)
            for (std::size_t i = 0; i < size; ++i)
                ASSERT_NEAR(output[p][i], values[p], GetParam().constantTolerance)
                    << "vertices " << vertices << " plane " << p << " pixel " << i;
    }
}

TEST_P(EverySpreadMethod, AnApertureWithoutWeightLeavesThePlanesAsTheyWere) {
    EngineRun run(kModeRGB, 4);
    run.Settings() = enginetest::Aperture(4, 100, 100, 0, 0);
    const std::vector<Plane> input = {RandomPlane(12, 10, 1), RandomPlane(12, 10, 2), RandomPlane(12, 10, 3),
                                      RandomPlane(12, 10, 4)};
    const std::uint32_t state = RandomState();
    EXPECT_EQ(Run(run, 7, 12, 10, input), input);
    EXPECT_EQ(run.result, kNoError);
    EXPECT_EQ(RandomState(), state);  // nothing was sampled either
}

TEST_P(EverySpreadMethod, EveryFailedAllocationEndsOutOfMemoryWithoutLeaksOrChanges) {
    // A small hexagon, and a disc taller than the image; the depth map reaches the direct method's depth
    // path and is ignored by the others.
    for (const std::int16_t planes : {std::int16_t{3}, std::int16_t{4}}) {
        for (auto [diameter, vertices] : {std::pair{7, 6}, std::pair{21, 1}}) {
            for (bool withDepth : {false, true}) {
                FilterParameters settings = enginetest::Aperture(vertices, 30, 20, 0, 0);
                settings.depth = 1;
                settings.focus = 128;
                std::vector<Plane> input;
                for (std::int16_t p = 0; p < planes; ++p) input.push_back(RandomPlane(21, 17, 11u + static_cast<std::uint32_t>(p)));
                const std::vector<float> depth = DepthMap(21, 17);
                SCOPED_TRACE(std::to_string(planes) + " planes, D " + std::to_string(diameter) +
                             (withDepth ? ", depth map" : ""));
                EXPECT_GE(enginetest::ExpectEveryAllocationFailureHandled(GetParam().method, kModeRGB, diameter, 21,
                                                                          17, input, &settings,
                                                                          withDepth ? depth.data() : nullptr),
                          withDepth ? GetParam().leastWithDepth : GetParam().leastAllocations);
            }
        }
    }
}

TEST_P(EverySpreadMethod, CancelAtEveryCheckPointEndsTheRunThereAndReleasesEverything) {
    for (bool withDepth : {false, true}) {
        const std::vector<Plane> input = {RandomPlane(50, 45, 1), RandomPlane(50, 45, 2), RandomPlane(50, 45, 3),
                                          RandomPlane(50, 45, 4)};
        const std::vector<float> depth = DepthMap(50, 45);
        EngineRun full(kModeRGB, 4);
        full.Settings().depth = 1;
        Run(full, 7, 50, 45, input, withDepth ? depth.data() : nullptr);
        ASSERT_EQ(full.result, kNoError);
        const std::int32_t checkPoints = full.log.abortCalls;
        ASSERT_GE(checkPoints, 3);  // at least one between the first and the last
        const std::int64_t live = LiveAllocations();
        for (std::int32_t k = 1; k <= checkPoints; ++k) {
            EngineRun cancelled(kModeRGB, 4);
            cancelled.Settings().depth = 1;
            cancelled.log.abortAtCall = k;
            Run(cancelled, 7, 50, 45, input, withDepth ? depth.data() : nullptr);
            EXPECT_EQ(cancelled.result, kUserCanceled) << k;
            EXPECT_EQ(cancelled.log.abortCalls, k) << "the run went on past the cancel at " << k;
            EXPECT_EQ(LiveAllocations(), live) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, EverySpreadMethod,
                         ::testing::Values(MethodCase{"Direct", &DirectConvolve, 2e-6f, 3, 5},
                                           MethodCase{"MonteCarlo", &MonteCarloConvolve, 1e-6f, 3, 3},
                                           MethodCase{"Fft", &FftConvolve, 1e-6f, 8, 8}),
                         [](const ::testing::TestParamInfo<MethodCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace aperlume
