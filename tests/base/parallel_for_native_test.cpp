// The thread count follows the CPU affinity the process was given (taskset, a container's CPU set); a
// scope's helpers serve only the thread that opened it.
#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

#include "base/parallel_for.h"
#include "base/parallel_pieces.h"

namespace aperlume {

void ExpectEveryPieceOnce(std::int32_t threads, std::int64_t count);  // parallel_for_test.cpp

namespace {

TEST(ParallelFor, CallsFromAnotherThreadWhileAScopeIsOpenStartTheirOwnHelpers) {
    const ParallelScope scope;
    ExpectEveryPieceOnce(2, 9);
    const std::int64_t before = detail::HelperThreadsStarted();
    std::thread other([] {
        const ParallelScope refused;  // one scope is open already, on the first thread
        for (int call = 0; call < 5; ++call) ExpectEveryPieceOnce(2, 9);
    });
    other.join();
    EXPECT_EQ(detail::HelperThreadsStarted() - before, 5);
    ExpectEveryPieceOnce(2, 9);
    EXPECT_EQ(detail::HelperThreadsStarted() - before, 5);
}

TEST(HardwareThreads, CountsOnlyTheProcessorsOfTheAffinityMask) {
    cpu_set_t original;
    ASSERT_EQ(sched_getaffinity(0, sizeof original, &original), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    int first = 0;
    while (!CPU_ISSET(first, &original)) ++first;
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const std::int32_t pinned = HardwareThreads();
    ASSERT_EQ(sched_setaffinity(0, sizeof original, &original), 0);
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(HardwareThreads(), std::min(CPU_COUNT(&original), kMostThreads));
}

}  // namespace
}  // namespace aperlume
