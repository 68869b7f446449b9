// The Japanese names the resources carry are the code page 932 bytes of the interface's terms: the bytes
// written in the builders' tables, checked against a converter.
#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

#include "resources/parameter_table.h"

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

TEST(JapaneseNames, ParameterNamesAreTheirCodePage932Bytes) {
    const char* names[11] = {"量", "明るさ", "頂点数", "エッジ", "比率", "回転", "ソフト", "計算方法", "補正", "深度", "焦点"};
    ASSERT_EQ(kScriptParameters.size(), 11u);
    for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(kScriptParameters[i].name, ToCp932(names[i])) << names[i];
}

TEST(JapaneseNames, CorrectionEnumeratorsAreTheirCodePage932Bytes) {
    const ScriptEnumeration& correction = kScriptEnumerations[1];
    ASSERT_EQ(correction.count, 2u);
    EXPECT_EQ(correction.enumerators[0].name, ToCp932("ガンマ"));
    EXPECT_EQ(correction.enumerators[1].name, ToCp932("対数"));
}

}  // namespace
}  // namespace aperlume
