// The scripting terminology, byte for byte against its tables, and read back field by field.
#include "resources/terminology.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace aperlume {
namespace {

std::string Le16(std::uint16_t v) { return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string Code(const char* code) { return std::string{code[3], code[2], code[1], code[0]}; }
std::string P(const std::string& text) { return static_cast<char>(text.size()) + text; }

struct Parameter {
    std::string name;  // code page 932
    const char* key;
    const char* type;
    std::uint16_t flags;
};

const Parameter kParameters[11] = {
    {"\x97\xca", "Amnt", "long", 0},
    {"\x96\xbe\x82\xe9\x82\xb3", "srgh", "long", 0},
    {"\x92\xb8\x93\x5f\x90\x94", "Peak", "long", 0},
    {"\x83\x47\x83\x62\x83\x57", "Edg ", "long", 0},
    {"\x94\xe4\x97\xa6", "Rt  ", "long", 0},
    {"\x89\xf1\x93\x5d", "Rtt ", "long", 0},
    {"\x83\x5c\x83\x74\x83\x67", "Soft", "long", 0},
    {"\x8c\x76\x8e\x5a\x95\xfb\x96\x40", "Mthd", "Mthd", 0x2000},
    {"\x95\xe2\x90\xb3", "Cmpn", "Cmpn", 0x2000},
    {"\x90\x5b\x93\x78", "Dpth", "long", 0},
    {"\x8f\xc5\x93\x5f", "Fcs ", "long", 0},
};

std::string ExpectedTerminology() {
    std::string t = Le16(1) + "\x01" + std::string(1, '\0') + Le16(0) + Le16(0) + Le16(1);
    t += P("Tamsor") + P("Veil of Lumen") + Code("tm01") + Le16(1) + Le16(1) + Le16(1);
    t += P("Aperlume") + P("Veil of Lumen") + Code("tm01") + Code("tm01") + Code("null") + P("") + Le16(0);
    t += Code("#ImR") + P("") + Le16(0xB000) + Le16(11);
    for (const Parameter& p : kParameters) t += P(p.name) + Code(p.key) + Code(p.type) + P(p.name) + Le16(p.flags);
    t += Le16(0) + Le16(0) + Le16(2);
    t += Code("Mthd") + Le16(3) + P("CONV") + Code("MCov") + P("") + P("MC") + Code("MMC ") + P("") + P("FFT") +
         Code("MFFT") + P("");
    t += Code("Cmpn") + Le16(2) + P("\x83\x4b\x83\x93\x83\x7d") + Code("CGmm") + P("") + P("\x91\xce\x90\x94") +
         Code("CExp") + P("");
    return t;
}

TEST(Terminology, BytesMatchTheTables) {
    const std::vector<std::uint8_t> built = BuildTerminology();
    const std::string expected = ExpectedTerminology();
    ASSERT_EQ(built.size(), expected.size());
    for (std::size_t i = 0; i < built.size(); ++i)
        ASSERT_EQ(built[i], static_cast<std::uint8_t>(expected[i])) << "first difference at byte " << i;
}

// Reads the resource the way a scripting host walks it.
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : b_(bytes) {}
    std::uint16_t U16() {
        Need(2);
        const auto v = static_cast<std::uint16_t>(b_[at_] | (b_[at_ + 1] << 8));
        at_ += 2;
        return v;
    }
    std::uint8_t U8() {
        Need(1);
        return b_[at_++];
    }
    std::string Code() {
        Need(4);
        std::string c{static_cast<char>(b_[at_ + 3]), static_cast<char>(b_[at_ + 2]), static_cast<char>(b_[at_ + 1]),
                      static_cast<char>(b_[at_])};
        at_ += 4;
        return c;
    }
    std::string PString() {
        const std::size_t n = U8();
        Need(n);
        std::string s(b_.begin() + static_cast<std::ptrdiff_t>(at_), b_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return s;
    }
    bool AtEnd() const { return at_ == b_.size(); }

private:
    void Need(std::size_t n) {
        if (at_ + n > b_.size()) throw std::out_of_range("read past the end of the terminology");
    }
    const std::vector<std::uint8_t>& b_;
    std::size_t at_ = 0;
};

TEST(Terminology, AHostReadsOneEventWithTheScriptingKeys) {
    const std::vector<std::uint8_t> bytes = BuildTerminology();
    Reader r(bytes);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.U8(), 1);
    EXPECT_EQ(r.U8(), 0);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 0);
    ASSERT_EQ(r.U16(), 1) << "suites";
    EXPECT_EQ(r.PString(), "Tamsor");
    EXPECT_EQ(r.PString(), "Veil of Lumen");
    EXPECT_EQ(r.Code(), "tm01");
    r.U16();
    r.U16();
    ASSERT_EQ(r.U16(), 1) << "events";
    EXPECT_EQ(r.PString(), "Aperlume");
    EXPECT_EQ(r.PString(), "Veil of Lumen");
    EXPECT_EQ(r.Code(), "tm01") << "the class code of the property list's scripting link";
    EXPECT_EQ(r.Code(), "tm01") << "the event code of the property list's scripting link";
    EXPECT_EQ(r.Code(), "null");
    EXPECT_EQ(r.PString(), "");
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.Code(), "#ImR");
    EXPECT_EQ(r.PString(), "");
    EXPECT_EQ(r.U16(), 0xB000);
    ASSERT_EQ(r.U16(), 11);
    for (const Parameter& p : kParameters) {
        const std::string name = r.PString();
        EXPECT_EQ(name, p.name);
        EXPECT_EQ(r.Code(), p.key) << "keys keep their trailing blanks";
        EXPECT_EQ(r.Code(), p.type);
        EXPECT_EQ(r.PString(), name) << "the description repeats the name";
        EXPECT_EQ(r.U16(), p.flags);
    }
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 0);
    ASSERT_EQ(r.U16(), 2);
    EXPECT_EQ(r.Code(), "Mthd");
    ASSERT_EQ(r.U16(), 3);
    for (const char* code : {"MCov", "MMC ", "MFFT"}) {
        r.PString();
        EXPECT_EQ(r.Code(), code);
        EXPECT_EQ(r.PString(), "");
    }
    EXPECT_EQ(r.Code(), "Cmpn");
    ASSERT_EQ(r.U16(), 2);
    for (const char* code : {"CGmm", "CExp"}) {
        r.PString();
        EXPECT_EQ(r.Code(), code);
        EXPECT_EQ(r.PString(), "");
    }
    EXPECT_TRUE(r.AtEnd());
}

}  // namespace
}  // namespace aperlume
