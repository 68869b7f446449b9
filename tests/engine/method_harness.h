// Test support for the spreading methods: random planes, one run on copies of given planes, and the
// sweep that makes every allocation of a run fail in turn.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/methods.h"
#include "engine_fixture.h"
#include "base/result.h"
#include "base/working_memory.h"

namespace aperlume::enginetest {

using Plane = std::vector<float>;
using SpreadMethod = void (*)(PluginContext&, std::int32_t, std::int32_t, std::int32_t, bool, float* const*);

inline Plane RandomPlane(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    Plane plane(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (float& v : plane) v = uniform(generator);
    return plane;
}

// Runs the method on copies of `planes` and returns them as the method left them.
inline std::vector<Plane> RunMethod(SpreadMethod method, EngineHost& host, std::int32_t diameter, std::int32_t width,
                                    std::int32_t height, std::vector<Plane> planes, bool reportProgress = true) {
    float* pointers[kMaxPlanes] = {};
    for (std::size_t p = 0; p < planes.size() && p < kMaxPlanes; ++p) pointers[p] = planes[p].data();
    method(host.context, diameter, width, height, reportProgress, pointers);
    return planes;
}

// Makes allocation 1, 2, ... of a run fail until a run completes without reaching the failing one. Each
// failed run must end out of memory, release everything and leave the planes as they were. Returns the
// number of allocations that a complete run makes.
inline std::int64_t ExpectEveryAllocationFailureHandled(SpreadMethod method, std::int16_t imageMode,
                                                        std::int32_t diameter, std::int32_t width,
                                                        std::int32_t height, const std::vector<Plane>& input) {
    const std::int64_t live = LiveAllocations();
    for (std::int64_t ordinal = 1;; ++ordinal) {
        EngineHost host(imageMode, static_cast<std::int16_t>(input.size()));
        const std::int64_t before = AllocationsMade();
        FailAllocationNumber(ordinal);
        const std::vector<Plane> output = RunMethod(method, host, diameter, width, height, input);
        FailAllocationNumber(0);
        EXPECT_EQ(LiveAllocations(), live) << "failing allocation " << ordinal;
        const std::int64_t made = AllocationsMade() - before;
        if (made < ordinal) {
            EXPECT_EQ(host.result, kNoError);
            return made;
        }
        EXPECT_EQ(host.result, kOutOfMemory) << "failing allocation " << ordinal;
        EXPECT_EQ(output, input) << "failing allocation " << ordinal;
    }
}

}  // namespace aperlume::enginetest
