// The dialog helpers' arithmetic: placing a window on the desktop and cutting client rectangles.
#include "ui/dialog_helpers.h"

#include <gtest/gtest.h>

namespace aperlume {
namespace {

TEST(CenteredPosition, CentresAcrossAndPlacesAThirdDown) {
    const ScreenPoint at = CenteredPosition(ScreenRect{0, 0, 1024, 768}, 300, 200);
    EXPECT_EQ(at.x, 362);
    EXPECT_EQ(at.y, 189);  // (768 - 200) / 3 = 189.33
}

TEST(CenteredPosition, UsesTheDesktopsOwnOrigin) {
    // A desktop that starts left of and above the primary screen (a second monitor).
    const ScreenPoint at = CenteredPosition(ScreenRect{-1280, -100, 1024, 768}, 100, 50);
    EXPECT_EQ(at.x, (-1280 + 1024 - 100) / 2);
    EXPECT_EQ(at.y, (-100 + 768 - 50) / 3);
}

TEST(CenteredPosition, DivisionsTruncateTowardsZero) {
    // A window larger than the desktop: the sums are negative and must not round down.
    const ScreenPoint at = CenteredPosition(ScreenRect{0, 0, 1024, 768}, 1027, 770);
    EXPECT_EQ(at.x, -1);  // -3 / 2
    EXPECT_EQ(at.y, 0);   // -2 / 3
    const ScreenPoint tall = CenteredPosition(ScreenRect{0, 0, 1024, 768}, 300, 900);
    EXPECT_EQ(tall.y, -44) << "a window taller than the desktop is not kept inside it";
}

TEST(ClientRectToRect, OrdersTopLeftBottomRightAndCutsTo16Bits) {
    const Rect r = ClientRectToRect(10, 20, 110, 220);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 220);
    EXPECT_EQ(r.right, 110);
    const Rect cut = ClientRectToRect(-5, 70000, 65536 + 7, -70000);
    EXPECT_EQ(cut.left, -5);
    EXPECT_EQ(cut.top, static_cast<std::int16_t>(70000 - 65536));
    EXPECT_EQ(cut.right, 7);
    EXPECT_EQ(cut.bottom, static_cast<std::int16_t>(-70000 + 131072));
}

}  // namespace
}  // namespace aperlume
