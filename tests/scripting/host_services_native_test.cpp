// The alert for a host without image requests, as the native dialog helpers record it.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <string>

#include "host/process_state.h"
#include "scripting/host_services.h"
#include "ui/dialog_helpers.h"
#include "ui/dialog_helpers_probe.h"

namespace aperlume {
namespace {

std::string ToCp932(const std::string& utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::string out(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(converter, &in, &inLeft, &at, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

OSErr Advance() { return 0; }

TEST(CheckAdvanceState, AHostWithAdvanceStateNeedsNoAlert) {
    ClearShownAlerts();
    EXPECT_TRUE(CheckAdvanceState(&Advance, GetModuleInstance(), &ShowNoImageServiceAlert));
    EXPECT_TRUE(ShownAlerts().empty());
}

TEST(CheckAdvanceState, AHostWithoutItIsToldItNeedsVersionThreeInJapanese) {
    ClearShownAlerts();
    EXPECT_FALSE(CheckAdvanceState(nullptr, GetModuleInstance(), &ShowNoImageServiceAlert));
    ASSERT_EQ(ShownAlerts().size(), 1u);
    const ShownAlert& alert = ShownAlerts()[0];
    EXPECT_EQ(alert.owner, nullptr);
    EXPECT_EQ(alert.style, 0x30u) << "OK button and the warning icon";
    const std::string expected = ToCp932(
        "このホストはフィルタに画像データを渡すことができません。"
        "プラグインインターフェイスのバージョン 3.0 以降に対応したホストが必要です。");
    EXPECT_EQ(std::string(alert.text.begin(), alert.text.end()), expected);
}

}  // namespace
}  // namespace aperlume
