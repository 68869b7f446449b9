// ParallelFor: every piece runs exactly once, whatever the number of threads and pieces.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/parallel_for.h"

namespace aperlume {
namespace {

TEST(ParallelFor, RunsEveryPieceExactlyOnceForAnyThreadCount) {
    for (const std::int32_t threads : {0, 1, 2, 3, 8, 100}) {
        for (const std::int64_t count : {0, 1, 2, 7, 1000}) {
            std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
            ParallelFor(threads, count, [&runs](std::int64_t piece) { runs[static_cast<std::size_t>(piece)]++; });
            for (std::int64_t i = 0; i < count; ++i)
                ASSERT_EQ(runs[static_cast<std::size_t>(i)].load(), 1) << threads << " threads, piece " << i << " of " << count;
        }
    }
}

TEST(ParallelFor, ReturnsOnlyWhenEveryPieceIsDone) {
    std::atomic<std::int64_t> sum{0};
    ParallelFor(4, 200, [&sum](std::int64_t piece) {
        volatile double spin = 0.0;  // pieces of uneven length, so that threads finish at different times
        for (std::int64_t i = 0; i < (piece % 7) * 2000; ++i) spin = spin + 1.0;
        sum += piece;
    });
    EXPECT_EQ(sum.load(), 199 * 200 / 2);
}

}  // namespace
}  // namespace aperlume
