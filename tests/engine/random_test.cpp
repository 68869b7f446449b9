// The project's generator: the Windows C runtime's sequence from state 1, one process-wide state.
#include "engine/random.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace aperlume {
namespace {

TEST(Random, SequenceFromStateOneMatchesTheWindowsRuntime) {
    RandomSequence sequence;
    EXPECT_EQ(sequence.Next(), 41);
    EXPECT_EQ(sequence.Next(), 18467);
    EXPECT_EQ(sequence.Next(), 6334);
    EXPECT_EQ(sequence.Next(), 26500);
    EXPECT_EQ(sequence.Next(), 19169);
}

TEST(Random, ResultsStayInRangeAndCoverIt) {
    RandomSequence sequence;
    std::int32_t lowest = kRandomMax;
    std::int32_t highest = 0;
    for (int i = 0; i < 1 << 20; ++i) {
        const std::int32_t value = sequence.Next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, kRandomMax);
        lowest = value < lowest ? value : lowest;
        highest = value > highest ? value : highest;
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, kRandomMax);
}

TEST(Random, ProcessWideStateContinuesTheSequenceWithoutReseeding) {
    RandomSequence expected{RandomState()};
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Random(), expected.Next());
    EXPECT_EQ(RandomState(), expected.state);
}

}  // namespace
}  // namespace aperlume
