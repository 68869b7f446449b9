// The property list, byte for byte against the table it is written from, and read back the way a host
// scans it.
#include "resources/property_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace aperlume {
namespace {

// Expected bytes as text: four-character codes appear reversed in the resource, numbers little-endian.
std::string Le16(std::uint16_t v) { return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(static_cast<std::uint16_t>(v & 0xffff)) + Le16(static_cast<std::uint16_t>(v >> 16)); }
std::string LeDouble(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    return Le32(static_cast<std::uint32_t>(bits)) + Le32(static_cast<std::uint32_t>(bits >> 32));
}
std::string Zeros(std::size_t n) { return std::string(n, '\0'); }
std::string Reversed(const char* code) { return std::string{code[3], code[2], code[1], code[0]}; }

std::string Property(const char* key, std::uint32_t id, const std::string& data) {
    return "MIB8" + Reversed(key) + Le32(id) + Le32(static_cast<std::uint32_t>(data.size())) + data;
}

struct Parameter {
    std::string name;
    double minimum, maximum;
    std::uint32_t control;
};

// The names in code page 932 (checked against a converter in the terminology test).
const Parameter kParameters[11] = {
    {"\x97\xca", 0, 100, 2},
    {"\x96\xbe\x82\xe9\x82\xb3", 0, 100, 2},
    {"\x92\xb8\x93\x5f\x90\x94", 1, 8, 2},
    {"\x83\x47\x83\x62\x83\x57", 0, 100, 2},
    {"\x94\xe4\x97\xa6", -100, 100, 2},
    {"\x89\xf1\x93\x5d", 0, 359, 2},
    {"\x83\x5c\x83\x74\x83\x67", 0, 1, 2},
    {"\x8c\x76\x8e\x5a\x95\xfb\x96\x40", 0, 2, 0},
    {"\x95\xe2\x90\xb3", 0, 1, 0},
    {"\x90\x5b\x93\x78", 0, 1, 0},
    {"\x8f\xc5\x93\x5f", 0, 255, 2},
};

std::string ExpectedPropertyList(bool withX64Entry) {
    std::string list = Le16(1) + Le32(0) + Le32(withX64Entry ? 23 : 22);
    list += Property("kind", 0, "MFB8");
    list += Property("name", 0, "\x0b" "Aperlume..." + Zeros(4));
    list += Property("catg", 0, "\x0a" "TamsorPlug" + Zeros(1));
    list += Property("vers", 0, Le32(0x00040000));
    list += Property("wx86", 0, "PluginMain" + Zeros(2));
    if (withX64Entry) list += Property("8664", 0, "PluginMain" + Zeros(2));
    list += Property("hstm", 0, Le32(0) + "10mt" + "10mt" + Le16(16000) + "Tamsor Aperlume" + Zeros(1 + 6));
    list += Property("mode", 0, std::string("\x50\0\0\0", 4));
    list += Property("enbl", 0,
                     "in (PSHOP_ImageMode, GrayScaleMode, RGBMode, Gray16Mode, RGB48Mode)" + Zeros(1 + 4));
    list += Property("fici", 0, std::string("\x01\x01\x01\0" "\x01\x01\x09\0" "\x01\x01\x09\0" "\x05\x01\x01\0"
                                            "\x05\x01\x09\0" "\x05\x01\x01\0" "\x05\x01\x01\0", 28));
    list += Property("aFLT", 0, Le32(1) + Le32(0) + Le32(0) + Le32(64) + Le32(11) + "Aperlume" + Zeros(24) + Zeros(16));
    for (std::uint32_t id = 0; id < 11; ++id) {
        const Parameter& p = kParameters[id];
        std::string data = p.name + Zeros(32 - p.name.size());
        data += Le32(0) + Le32(2) + Le32(p.control);
        data += LeDouble(p.minimum) + LeDouble(p.maximum) + LeDouble(p.minimum) + LeDouble(p.maximum);
        data += Le32(10) + Le32(2) + Zeros(16);
        list += Property("aPAR", id, data);
    }
    list += Property("eGLO", 0, Le32(0x00284FFC));
    return list;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(PropertyList, ThirtyTwoBitBytesMatchTheTable) {
    const std::string expected = ExpectedPropertyList(false);
    const std::string built = AsString(BuildPropertyList(ModuleArchitecture::X86));
    ASSERT_EQ(built.size(), expected.size());
    for (std::size_t i = 0; i < built.size(); ++i)
        ASSERT_EQ(static_cast<int>(static_cast<std::uint8_t>(built[i])), static_cast<int>(static_cast<std::uint8_t>(expected[i])))
            << "first difference at byte " << i;
}

TEST(PropertyList, SixtyFourBitBytesAddOnlyTheX64EntryPoint) {
    EXPECT_EQ(AsString(BuildPropertyList(ModuleArchitecture::X64)), ExpectedPropertyList(true));
}

// A host's scan: the header, then properties stepped over by their raw length, as the strictest hosts
// do; every length must already be a multiple of four.
struct ScannedProperty {
    std::string key;  // as written in the table
    std::int32_t id;
    std::vector<std::uint8_t> data;
};

std::uint32_t ReadLe32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::string CodeText(std::uint32_t code) {
    return std::string{static_cast<char>(code >> 24), static_cast<char>((code >> 16) & 0xff),
                       static_cast<char>((code >> 8) & 0xff), static_cast<char>(code & 0xff)};
}

std::vector<ScannedProperty> ScanLikeAHost(const std::vector<std::uint8_t>& bytes) {
    std::vector<ScannedProperty> found;
    EXPECT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), 1);
    EXPECT_EQ(ReadLe32(bytes, 2), 0u) << "version";
    const std::uint32_t count = ReadLe32(bytes, 6);
    std::size_t at = 10;
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_LE(at + 16, bytes.size());
        if (at + 16 > bytes.size()) break;
        EXPECT_EQ(CodeText(ReadLe32(bytes, at)), "8BIM") << "property " << i;
        ScannedProperty p;
        p.key = CodeText(ReadLe32(bytes, at + 4));
        p.id = static_cast<std::int32_t>(ReadLe32(bytes, at + 8));
        const std::uint32_t length = ReadLe32(bytes, at + 12);
        EXPECT_EQ(length % 4, 0u) << p.key;
        at += 16;
        EXPECT_LE(at + length, bytes.size()) << p.key;
        if (at + length > bytes.size()) break;
        p.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        found.push_back(std::move(p));
    }
    EXPECT_EQ(at, bytes.size()) << "nothing after the last property";
    return found;
}

TEST(PropertyList, AHostFindsTheKindEntryPointAndVersion) {
    const auto properties = ScanLikeAHost(BuildPropertyList(ModuleArchitecture::X86));
    ASSERT_EQ(properties.size(), 22u);
    const std::vector<std::string> keys = {"kind", "name", "catg", "vers", "wx86", "hstm", "mode", "enbl", "fici",
                                           "aFLT", "aPAR", "aPAR", "aPAR", "aPAR", "aPAR", "aPAR", "aPAR", "aPAR",
                                           "aPAR", "aPAR", "aPAR", "eGLO"};
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(properties[i].key, keys[i]) << i;
    EXPECT_EQ(CodeText(ReadLe32(properties[0].data, 0)), "8BFM");
    EXPECT_EQ(ReadLe32(properties[3].data, 0), 0x00040000u) << "hosts reject anything above 4.0";
    EXPECT_STREQ(reinterpret_cast<const char*>(properties[4].data.data()), "PluginMain");
    for (std::int32_t id = 0; id < 11; ++id) EXPECT_EQ(properties[static_cast<std::size_t>(10 + id)].id, id);
    EXPECT_EQ(properties[1].data.size(), 16u);
    EXPECT_EQ(properties[7].data.size(), 72u);
    EXPECT_EQ(properties[5].data.size(), 36u);
}

TEST(PropertyList, ASixtyFourBitHostFindsItsEntryPoint) {
    const auto properties = ScanLikeAHost(BuildPropertyList(ModuleArchitecture::X64));
    ASSERT_EQ(properties.size(), 23u);
    int x64Entries = 0;
    for (const ScannedProperty& p : properties) {
        if (p.key != "8664") continue;
        ++x64Entries;
        EXPECT_STREQ(reinterpret_cast<const char*>(p.data.data()), "PluginMain");
    }
    EXPECT_EQ(x64Entries, 1);
    EXPECT_EQ(properties[5].key, "8664") << "right after the 32-bit entry point";
}

}  // namespace
}  // namespace aperlume
