// Test support for the spreading methods: random planes, one run on copies of given planes, and the
// sweep that makes every allocation of a run fail in turn.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "base/result.h"
#include "base/working_memory.h"
#include "engine/methods.h"
#include "engine_fixture.h"

namespace aperlume::enginetest {

using Plane = std::vector<float>;

inline Plane RandomPlane(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    Plane plane(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (float& v : plane) v = uniform(generator);
    return plane;
}

// Runs the method on copies of `planes` and returns them as the method left them; the outcome goes to
// run.result.
inline std::vector<Plane> RunMethod(SpreadMethod method, EngineRun& run, std::int32_t diameter, std::int32_t width,
                                    std::int32_t height, std::vector<Plane> planes, const float* depthMap = nullptr) {
    const std::vector<PlaneView> views = Views(planes, width, height);
    run.result = method(run.Job(diameter, width, height), views, depthMap, run.checkPoints);
    return planes;
}

// Makes allocation 1, 2, ... of a run fail until a run completes without reaching the failing one. Each
// failed run must end out of memory, release everything and leave the planes as they were. Returns the
// number of allocations that a complete run makes.
inline std::int64_t ExpectEveryAllocationFailureHandled(SpreadMethod method, std::int16_t imageMode,
                                                        std::int32_t diameter, std::int32_t width,
                                                        std::int32_t height, const std::vector<Plane>& input,
                                                        const FilterParameters* settings = nullptr,
                                                        const float* depthMap = nullptr) {
    const std::int64_t live = LiveAllocations();
    for (std::int64_t ordinal = 1;; ++ordinal) {
        EngineRun run(imageMode, static_cast<std::int16_t>(input.size()));
        if (settings != nullptr) run.Settings() = *settings;
        const std::int64_t before = AllocationsMade();
        FailAllocationNumber(ordinal);
        const std::vector<Plane> output = RunMethod(method, run, diameter, width, height, input, depthMap);
        FailAllocationNumber(0);
        EXPECT_EQ(LiveAllocations(), live) << "failing allocation " << ordinal;
        const std::int64_t made = AllocationsMade() - before;
        if (made < ordinal) {
            EXPECT_EQ(run.result, kNoError);
            return made;
        }
        EXPECT_EQ(run.result, kOutOfMemory) << "failing allocation " << ordinal;
        EXPECT_EQ(output, input) << "failing allocation " << ordinal;
    }
}

}  // namespace aperlume::enginetest
