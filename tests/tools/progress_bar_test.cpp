// The progress bar: what one line shows, and that redrawing happens only when the figure changes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/aperlume/progress_bar.h"

namespace aperlume::tool {
namespace {

TEST(ProgressBar, LineShowsTheFractionDone) {
    EXPECT_EQ(ProgressLine(0, 100, 10), "[..........]   0%");
    EXPECT_EQ(ProgressLine(25, 100, 10), "[##........]  25%");
    EXPECT_EQ(ProgressLine(3, 3, 10), "[##########] 100%");
    EXPECT_EQ(ProgressLine(1, 3, 4), "[#...]  33%");
}

TEST(ProgressBar, OddCountsAreClamped) {
    EXPECT_EQ(ProgressLine(5, 0, 4), "[....]   0%");    // no total
    EXPECT_EQ(ProgressLine(-5, 10, 4), "[....]   0%");
    EXPECT_EQ(ProgressLine(50, 10, 4), "[####] 100%");  // more done than the total
    // Large counts do not overflow the percentage.
    EXPECT_EQ(ProgressLine(2000000000, 2100000000, 4), "[###.]  95%");
}

TEST(ProgressBar, RedrawsOnlyWhenThePercentageChangesAndEndsItsLine) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ProgressBar bar(out, 4);
    bar.Update(0, 1000);
    bar.Update(1, 1000);  // still 0 %
    bar.Update(500, 1000);
    bar.Update(505, 1000);  // still 50 %
    bar.Update(1000, 1000);
    bar.Finish();
    bar.Finish();  // a second finish adds nothing
    std::rewind(out);
    std::string written;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) written.push_back(static_cast<char>(c));
    std::fclose(out);
    EXPECT_EQ(written, "\r[....]   0%\r[##..]  50%\r[####] 100%\n");
}

TEST(ProgressBar, FinishWithoutAnyUpdateWritesNothing) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ProgressBar bar(out);
    bar.Finish();
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
}

}  // namespace
}  // namespace aperlume::tool
