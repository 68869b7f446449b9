// The version record read back as the system's version API walks it: nested blocks on 4-byte
// boundaries, each length covering its children.
#include "resources/version_record.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace aperlume {
namespace {

struct Block {
    std::string key;
    std::uint16_t type = 0;
    std::vector<std::uint8_t> value;
    std::vector<Block> children;
};

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::size_t Aligned(std::size_t at) { return (at + 3) & ~static_cast<std::size_t>(3); }

// Parses the block at `at` (which must be 4-aligned) and checks that it lies inside `end`.
Block ParseBlock(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end) {
    Block block;
    EXPECT_EQ(at % 4, 0u) << "blocks start on 4-byte boundaries";
    const std::size_t length = U16(b, at);
    const std::size_t valueLength = U16(b, at + 2);
    block.type = U16(b, at + 4);
    EXPECT_LE(at + length, end);
    const std::size_t blockEnd = at + length;
    std::size_t p = at + 6;
    while (p + 1 < blockEnd && U16(b, p) != 0) {
        EXPECT_LT(U16(b, p), 0x80) << "keys are ASCII here";
        block.key += static_cast<char>(U16(b, p));
        p += 2;
    }
    p = Aligned(p + 2);
    // Text values count UTF-16 units, binary values bytes.
    const std::size_t valueBytes = block.type == 1 ? valueLength * 2 : valueLength;
    EXPECT_LE(p + valueBytes, blockEnd) << block.key;
    block.value.assign(b.begin() + static_cast<std::ptrdiff_t>(p), b.begin() + static_cast<std::ptrdiff_t>(p + valueBytes));
    p = Aligned(p + valueBytes);
    while (p < blockEnd) {
        Block child = ParseBlock(b, p, blockEnd);
        p = Aligned(p + U16(b, p));
        block.children.push_back(std::move(child));
    }
    return block;
}

std::string WideValue(const Block& block) {
    std::string text;
    for (std::size_t i = 0; i + 1 < block.value.size(); i += 2) {
        const std::uint16_t unit = U16(block.value, i);
        if (unit == 0) break;
        text += static_cast<char>(unit);
    }
    return text;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(U16(b, at)) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

TEST(VersionRecord, FixedPartNamesVersion0_13_5OfA32BitLibrary) {
    const std::vector<std::uint8_t> bytes = BuildVersionRecord();
    ASSERT_EQ(U16(bytes, 0), bytes.size()) << "the root's length is the whole record";
    const Block root = ParseBlock(bytes, 0, bytes.size());
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    EXPECT_EQ(U32(root.value, 0), 0xFEEF04BDu);
    EXPECT_EQ(U32(root.value, 8), 0x0000000Du) << "file version 0.13";
    EXPECT_EQ(U32(root.value, 12), 0x00050000u) << "file version .5.0";
    EXPECT_EQ(U32(root.value, 16), 0x0000000Du) << "product version";
    EXPECT_EQ(U32(root.value, 20), 0x00050000u);
    EXPECT_EQ(U32(root.value, 28), 0u) << "flags";
    EXPECT_EQ(U32(root.value, 32), 4u) << "32-bit Windows";
    EXPECT_EQ(U32(root.value, 36), 2u) << "dynamic-link library";
}

TEST(VersionRecord, JapaneseStringTableAndTranslation) {
    const std::vector<std::uint8_t> bytes = BuildVersionRecord();
    const Block root = ParseBlock(bytes, 0, bytes.size());
    ASSERT_EQ(root.children.size(), 2u);
    const Block& strings = root.children[0];
    EXPECT_EQ(strings.key, "StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u);
    const Block& table = strings.children[0];
    EXPECT_EQ(table.key, "041104b0");
    std::vector<std::string> keys;
    std::map<std::string, std::string> values;
    for (const Block& s : table.children) {
        keys.push_back(s.key);
        values[s.key] = WideValue(s);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                              "LegalCopyright", "OriginalFilename", "ProductName",
                                              "ProductVersion"}));
    EXPECT_EQ(values["CompanyName"], "");
    EXPECT_EQ(values["FileDescription"], "Veil of Lumen");
    EXPECT_EQ(values["FileVersion"], "0.13.5");
    EXPECT_EQ(values["InternalName"], "Aperlume");
    EXPECT_FALSE(values["LegalCopyright"].empty());
    EXPECT_EQ(values["OriginalFilename"], "Aperlume.8bf");
    EXPECT_EQ(values["ProductName"], "Aperlume");
    EXPECT_EQ(values["ProductVersion"], "0.13.5");

    const Block& variables = root.children[1];
    EXPECT_EQ(variables.key, "VarFileInfo");
    ASSERT_EQ(variables.children.size(), 1u);
    EXPECT_EQ(variables.children[0].key, "Translation");
    ASSERT_EQ(variables.children[0].value.size(), 4u);
    EXPECT_EQ(U16(variables.children[0].value, 0), 0x0411);
    EXPECT_EQ(U16(variables.children[0].value, 2), 0x04B0);
}

}  // namespace
}  // namespace aperlume
