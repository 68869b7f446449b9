// The Japanese texts of the settings are the code page 932 bytes of their terms, checked against a
// converter: the names the resources and the dialog's labels carry, the check boxes' texts and the
// correction's enumerators.
#include <gtest/gtest.h>

#include <iconv.h>

#include <map>
#include <string>

#include "base/settings_table.h"

namespace aperlume {
namespace {

std::string ToCp932(const std::string& utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    std::string out(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    const bool ok = iconv(converter, &in, &inLeft, &at, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!ok) return "<not convertible>";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(SettingTexts, AreTheCodePage932FormOfTheJapaneseTerms) {
    const std::map<std::string, std::string> names = {
        {"amount", "量"},   {"brightness", "明るさ"}, {"vertices", "頂点数"}, {"edge", "エッジ"},
        {"ratio", "比率"},  {"rotation", "回転"},     {"soft", "ソフト"},     {"method", "計算方法"},
        {"correction", "補正"}, {"depth-map", "深度"}, {"focus", "焦点"}};
    const std::map<std::string, std::string> checkTexts = {{"soft", "アンチエイリアス"},
                                                           {"depth-map", "選択領域を深度マップとして使う"}};
    const std::map<std::string, std::string> enumerators = {{"gamma", "ガンマ"}, {"log", "対数"}};
    std::size_t checked = 0;
    for (const Setting& setting : kSettings) {
        EXPECT_EQ(setting.name, ToCp932(names.at(setting.option))) << setting.option;
        if (setting.dialog.checkText != nullptr) {
            EXPECT_EQ(setting.dialog.checkText, ToCp932(checkTexts.at(setting.option))) << setting.option;
            ++checked;
        }
        for (const Enumerator& e : setting.enumerators) {
            const auto japanese = enumerators.find(e.option);
            if (japanese == enumerators.end()) continue;
            EXPECT_EQ(e.name, ToCp932(japanese->second)) << e.option;
            EXPECT_EQ(e.label, ToCp932(japanese->second)) << e.option;
            ++checked;
        }
    }
    EXPECT_EQ(checked, checkTexts.size() + enumerators.size()) << "a text of the list has no row";
}

}  // namespace
}  // namespace aperlume
