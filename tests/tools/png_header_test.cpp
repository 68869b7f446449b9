// Reading a PNG file's header without a PNG library: the fields, and every way a header can be wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/png_header.h"

namespace aperlume::tool {
namespace {

using PngHeaderFile = testing::TemporaryFolderTest;

// Signature plus an IHDR chunk of the given fields (the checksum is not checked, so it stays zero).
std::vector<std::uint8_t> HeaderBytes(std::uint32_t width, std::uint32_t height, std::uint8_t depth,
                                      std::uint8_t colorType) {
    std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(v >> shift));
    bytes.insert(bytes.end(), {depth, colorType, 0, 0, 0, 0, 0, 0, 0});
    return bytes;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(PngHeaderFile, ReadsTheImageHeader) {
    WriteBytes(Path("a.png"), HeaderBytes(70000, 258, 16, 6));
    PngHeader header;
    ToolStatus status = ReadPngHeader(Path("a.png"), header);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(header.width, 70000u);
    EXPECT_EQ(header.height, 258u);
    EXPECT_EQ(header.bitDepth, 16);
    EXPECT_EQ(header.colorType, 6);
}

TEST_F(PngHeaderFile, RefusesWhatIsNoPngHeader) {
    PngHeader header;
    EXPECT_NE(ReadPngHeader(Path("missing.png"), header).message.find("cannot open"), std::string::npos);
    WriteBytes(Path("text.png"), {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
    EXPECT_NE(ReadPngHeader(Path("text.png"), header).message.find("is not a PNG file"), std::string::npos);
    std::vector<std::uint8_t> cut = HeaderBytes(4, 4, 8, 2);
    cut.resize(20);
    WriteBytes(Path("cut.png"), cut);
    EXPECT_NE(ReadPngHeader(Path("cut.png"), header).message.find("damaged"), std::string::npos);
    std::vector<std::uint8_t> wrongChunk = HeaderBytes(4, 4, 8, 2);
    wrongChunk[12] = 'X';
    WriteBytes(Path("chunk.png"), wrongChunk);
    EXPECT_FALSE(ReadPngHeader(Path("chunk.png"), header).ok());
    // Depths that do not go with the colour type.
    for (auto [depth, type] : {std::pair<int, int>{16, 3}, {4, 2}, {8, 5}, {3, 0}}) {
        WriteBytes(Path("combo.png"), HeaderBytes(4, 4, static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(type)));
        EXPECT_FALSE(ReadPngHeader(Path("combo.png"), header).ok()) << depth << " bits, type " << type;
    }
}

}  // namespace
}  // namespace aperlume::tool
