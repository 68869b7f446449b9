// The about box natively: the owner it takes from the about record and the text it shows.
#include <gtest/gtest.h>

#include "ui/about_box.h"
#include "ui/about_box_probe.h"

namespace aperlume {
namespace {

TEST(AboutBoxNative, OwnedByTheHostWindowOfThePlatformData) {
    ClearShownAboutBoxes();
    PlatformData platform{0x1234};
    AboutRecord record{};
    record.platformData = &platform;
    ShowAboutBox(&record);
    ASSERT_EQ(ShownAboutBoxes().size(), 1u);
    EXPECT_EQ(ShownAboutBoxes()[0].owner, 0x1234);
    EXPECT_EQ(ShownAboutBoxes()[0].text, "Aperlume\r\n\r\n0.13.5\r\n\r\n2025-2026 Tamsor\r\n\r\nVeil of Lumen");
}

TEST(AboutBoxNative, AHostWithoutAWindowStillGetsTheBox) {
    ClearShownAboutBoxes();
    AboutRecord record{};
    ShowAboutBox(&record);
    ShowAboutBox(nullptr);
    ASSERT_EQ(ShownAboutBoxes().size(), 2u);
    EXPECT_EQ(ShownAboutBoxes()[0].owner, 0);
    EXPECT_EQ(ShownAboutBoxes()[1].owner, 0);
}

}  // namespace
}  // namespace aperlume
