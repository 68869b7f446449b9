// The render as a library call: the kernel diameter, and what the render refuses before any work.
#include "engine/render.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/working_memory.h"
#include "engine_fixture.h"

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

}  // namespace
}  // namespace aperlume
