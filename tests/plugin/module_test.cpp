// The built plug-in module, loaded as a host loads it: by path, with its entry point found by name.
#include <gtest/gtest.h>

#include "host/host_records.h"
#include "tests/support/linked_host.h"
#include "tools/host/module_loader.h"

namespace aperlume {
namespace {

TEST(Module, RunsAWholeSixteenBitRgbRunWithASelectionAndGivesTheImageBack) {
    testhost::PluginModule module;
    ASSERT_TRUE(module.Load(testing::ModulePath())) << module.Error() << " " << testing::ModulePath();
    testhost::FilterHost host(module.Entry());
    host.SetImage(testing::RandomImage(31, 17, 3, kModeRGB48, 11u));
    std::vector<std::uint8_t> mask(31 * 17, 0);
    for (std::size_t i = 40; i < 300; ++i) mask[i] = static_cast<std::uint8_t>(i);
    host.SetSelection(mask);
    ASSERT_EQ(host.Call(kSelectorPrepare), 0);
    std::int16_t* settings = host.Settings();
    ASSERT_NE(settings, nullptr);
    settings[8] = 5;  // a method that spreads nothing
    settings[9] = 2;  // and no correction
    EXPECT_EQ(host.Call(kSelectorPrepare), 0);
    EXPECT_EQ(host.Call(kSelectorStart), 0);
    EXPECT_EQ(host.Call(kSelectorContinue), 0);
    EXPECT_EQ(host.Record().outRect.right, 0);
    EXPECT_EQ(host.Call(kSelectorFinish), 0);
    EXPECT_EQ(host.Output().samples, host.Input().samples);
}

TEST(Module, BlursASampleWithDefaultSettings) {
    testhost::PluginModule module;
    ASSERT_TRUE(module.Load(testing::ModulePath())) << module.Error();
    testhost::FilterHost host(module.Entry());
    testhost::HostImage image = testhost::MakeImage(21, 21, 3, kModeRGB);
    for (int p = 0; p < 3; ++p) image.SetSample(10, 10, p, 255);
    host.SetImage(image);
    ASSERT_EQ(host.Call(kSelectorPrepare), 0);
    host.Settings()[2] = 1;  // a disc
    EXPECT_EQ(host.Run(false), 0);
    // The bright point spreads over its neighbours and no longer stands alone.
    EXPECT_LT(host.Output().Sample(10, 10, 0), 255u);
    EXPECT_GT(host.Output().Sample(10, 12, 0), 0u);
    EXPECT_EQ(host.Output().Sample(0, 0, 0), 0u);
    EXPECT_FALSE(host.ProgressCalls().empty());
}

}  // namespace
}  // namespace aperlume
