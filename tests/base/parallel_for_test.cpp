// ParallelFor: every piece runs exactly once, whatever the number of threads and pieces, with and without
// a scope's helper threads, which a series of calls shares; and the count of processors across groups.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/parallel_for.h"
#include "base/parallel_pieces.h"
#include "base/processor_groups.h"

namespace aperlume {

// Shared with parallel_for_native_test.cpp.
void ExpectEveryPieceOnce(std::int32_t threads, std::int64_t count) {
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
    ParallelFor(threads, count, [&runs](std::int64_t piece) { runs[static_cast<std::size_t>(piece)]++; });
    for (std::int64_t i = 0; i < count; ++i)
        ASSERT_EQ(runs[static_cast<std::size_t>(i)].load(), 1) << threads << " threads, piece " << i << " of " << count;
}

namespace {

TEST(ParallelFor, RunsEveryPieceExactlyOnceForAnyThreadCountInsideAndOutsideAScope) {
    for (const bool scoped : {false, true}) {
        std::optional<ParallelScope> scope;
        if (scoped) scope.emplace();
        for (const std::int32_t threads : {0, 1, 2, 3, 8, 100}) {
            for (const std::int64_t count : {0, 1, 2, 7, 1000}) ExpectEveryPieceOnce(threads, count);
        }
    }
}

TEST(ParallelFor, ReturnsOnlyWhenEveryPieceIsDone) {
    const ParallelScope scope;
    for (int call = 0; call < 20; ++call) {
        std::atomic<std::int64_t> sum{0};
        ParallelFor(4, 200, [&sum](std::int64_t piece) {
            volatile double spin = 0.0;  // pieces of uneven length, so that threads finish at different times
            for (std::int64_t i = 0; i < (piece % 7) * 2000; ++i) spin = spin + 1.0;
            sum += piece;
        });
        ASSERT_EQ(sum.load(), 199 * 200 / 2);
    }
}

// A scope starts each helper once for all its calls (a nested scope shares them); without one every call
// starts its own.
TEST(ParallelFor, AScopeStartsItsHelpersOnceForAllItsCalls) {
    const std::int64_t before = detail::HelperThreadsStarted();
    {
        const ParallelScope scope;
        for (int call = 0; call < 50; ++call) ExpectEveryPieceOnce(4, 9);
        {
            const ParallelScope nested;
            for (int call = 0; call < 50; ++call) ExpectEveryPieceOnce(3, 9);
        }
        EXPECT_LE(detail::HelperThreadsStarted() - before, 3);
    }
    const std::int64_t unscoped = detail::HelperThreadsStarted();
    for (int call = 0; call < 10; ++call) ExpectEveryPieceOnce(2, 9);
    EXPECT_EQ(detail::HelperThreadsStarted() - unscoped, 10);
}

TEST(HardwareThreads, IsBetweenOneAndTheMost) {
    EXPECT_GE(HardwareThreads(), 1);
    EXPECT_LE(HardwareThreads(), kMostThreads);
}

// Machines of several processor groups: a process kept to part of its group uses that part; otherwise
// every group, its helpers filling the primary group first, then the others in turn.
TEST(ProcessorGroups, CountTheProcessorsAProcessMayUseAndPlaceItsHelpers) {
    const std::vector<std::int32_t> one = {8};
    EXPECT_EQ(UsableProcessors(one, 0, 8), 8);
    EXPECT_EQ(UsableProcessors(one, 0, 3), 3);
    const std::vector<std::int32_t> three = {64, 64, 32};
    EXPECT_EQ(UsableProcessors(three, 0, 64), 160);
    EXPECT_EQ(UsableProcessors(three, 2, 32), 160);
    EXPECT_EQ(UsableProcessors(three, 1, 10), 10);
    EXPECT_EQ(UsableProcessors(three, 5, 64), 1);  // a group the table does not have
    // Primary group 1: its 63 other processors, then group 0's 64, then group 2's 32, then group 1 again.
    std::vector<std::int32_t> used(3, 0);
    for (std::int32_t helper = 0; helper < 159; ++helper) used[static_cast<std::size_t>(HelperGroup(helper, three, 1))]++;
    EXPECT_EQ(used, (std::vector<std::int32_t>{64, 63, 32}));
    EXPECT_EQ(HelperGroup(62, three, 1), 1);
    EXPECT_EQ(HelperGroup(63, three, 1), 0);
    EXPECT_EQ(HelperGroup(127, three, 1), 2);
    EXPECT_EQ(HelperGroup(159, three, 1), 1);
}

}  // namespace
}  // namespace aperlume
