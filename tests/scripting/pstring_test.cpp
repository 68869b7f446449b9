// Length-prefixed strings: the 254-character limit, marker substitution and decimal formatting.
#include "host/pstring.h"

#include <gtest/gtest.h>

#include <string>

namespace aperlume {
namespace {

std::string Text(const PString& s) { return std::string(reinterpret_cast<const char*>(s.data() + 1), s[0]); }

PString Filled(std::size_t length, char c) {
    PString s{};
    s[0] = static_cast<std::uint8_t>(length);
    for (std::size_t i = 1; i <= length; ++i) s[i] = static_cast<std::uint8_t>(c);
    return s;
}

TEST(AppendToPString, StopsAt255AndCutsTo254) {
    PString s = Filled(250, 'a');
    const std::uint8_t source[] = "0123456789";
    AppendToPString(s, source, 0, 10);
    EXPECT_EQ(s[0], 254);
    EXPECT_EQ(s[251], '0');
    EXPECT_EQ(s[254], '3');
    EXPECT_EQ(s[255], 0) << "the NUL after the last character";
}

TEST(AppendToPString, SkipsTheLengthByteOfAPrefixedSource) {
    PString s = MakePString("ab");
    const PString source = MakePString("xyz");
    AppendToPString(s, source.data(), 1, source[0]);
    EXPECT_EQ(Text(s), "abxyz");
    EXPECT_EQ(s[6], 0);
}

TEST(AppendToPString, AFullDestinationIsCutEvenWhenNothingIsAppended) {
    PString s = Filled(255, 'b');
    AppendToPString(s, nullptr, 0, 0);
    EXPECT_EQ(s[0], 254);
    EXPECT_EQ(s[255], 0);
}

TEST(SubstituteParams, ReplacesAMarkerInsideASentence) {
    PString text = MakePString("needs version ^1 or later");
    const PString version = MakePString("3.0");
    SubstituteParams(text, nullptr, &version, nullptr);
    EXPECT_EQ(Text(text), "needs version 3.0 or later");
    EXPECT_EQ(text[text[0] + 1], 0);
}

TEST(SubstituteParams, MissingOrEmptyParametersInsertNothing) {
    PString onlyMarker = MakePString("^0");
    SubstituteParams(onlyMarker, nullptr, nullptr, nullptr);
    EXPECT_EQ(onlyMarker[0], 0);

    PString text = MakePString("a^2b^1c");
    const PString empty{};
    SubstituteParams(text, nullptr, &empty, nullptr);
    EXPECT_EQ(Text(text), "abc");
}

TEST(SubstituteParams, OnlyZeroOneAndTwoAreMarkers) {
    PString text = MakePString("^3 ^a 1 ^");
    const PString p = MakePString("P");
    SubstituteParams(text, &p, &p, &p);
    EXPECT_EQ(Text(text), "^3 ^a 1 ^");
}

TEST(SubstituteParams, ADoubledCaretLeavesOneCaretBeforeTheParameter) {
    PString text = MakePString("^^1");
    const PString p = MakePString("X");
    SubstituteParams(text, nullptr, &p, nullptr);
    EXPECT_EQ(Text(text), "^X");
}

TEST(SubstituteParams, EachParameterGoesToItsOwnMarker) {
    PString text = MakePString("[^2|^0|^1]");
    const PString p0 = MakePString("zero");
    const PString p1 = MakePString("one");
    const PString p2 = MakePString("two");
    SubstituteParams(text, &p0, &p1, &p2);
    EXPECT_EQ(Text(text), "[two|zero|one]");
}

// The scan resumes one place after the marker: the inserted string's first character is not examined,
// the rest is.
TEST(SubstituteParams, MarkersInsideAnInsertedParameterAfterItsFirstCharacterAreReplaced) {
    const PString p1 = MakePString("a^2");
    const PString p2 = MakePString("B");
    PString text = MakePString("<^1>");
    SubstituteParams(text, nullptr, &p1, &p2);
    EXPECT_EQ(Text(text), "<aB>");

    const PString leading = MakePString("^2z");
    PString second = MakePString("<^1>");
    SubstituteParams(second, nullptr, &leading, &p2);
    EXPECT_EQ(Text(second), "<^2z>") << "the marker at the inserted string's first character stays";
}

TEST(SubstituteParams, ASelfRepeatingParameterStopsAtTheLimit) {
    const PString p1 = MakePString("x^1");
    PString text = MakePString("^1");
    SubstituteParams(text, nullptr, &p1, nullptr);
    EXPECT_EQ(text[0], 254);
    EXPECT_EQ(text[255], 0);
    EXPECT_EQ(text[1], 'x');
}

TEST(SubstituteParams, ALongParameterIsCutTo254) {
    PString text = MakePString("ab^1cd");
    const PString p1 = Filled(254, 'p');
    SubstituteParams(text, nullptr, &p1, nullptr);
    EXPECT_EQ(text[0], 254);
    EXPECT_EQ(text[1], 'a');
    EXPECT_EQ(text[254], 'p') << "the text after the marker no longer fits";
}

TEST(LongToPString, WritesDecimalText) {
    PString s{};
    LongToPString(-100, s);
    EXPECT_EQ(s[0], 4);
    EXPECT_EQ(Text(s), "-100");
    LongToPString(0, s);
    EXPECT_EQ(s[0], 1);
    EXPECT_EQ(Text(s), "0");
    LongToPString(2147483647, s);
    EXPECT_EQ(Text(s), "2147483647");
    LongToPString(-2147483647 - 1, s);
    EXPECT_EQ(Text(s), "-2147483648");
    EXPECT_EQ(s[s[0] + 1], 0);
}

}  // namespace
}  // namespace aperlume
