// Reading a PNG file's signature and IHDR chunk.
#include "tools/aperlume/png_header.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace aperlume::tool {
namespace {

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
           (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

bool ValidCombination(std::uint8_t colorType, std::uint8_t bitDepth) {
    switch (colorType) {
        case 0:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
        case 3:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
        case 2:
        case 4:
        case 6:
            return bitDepth == 8 || bitDepth == 16;
        default:
            return false;
    }
}

}  // namespace

ToolStatus ReadPngHeader(const std::string& path, PngHeader& header) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return ToolStatus::Failure("cannot open " + path + ": " + std::strerror(errno));
    // Signature, then the first chunk: length 13, type IHDR, width, height, depth, colour type, ...
    std::uint8_t bytes[8 + 8 + 13] = {};
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (got < 8 || std::memcmp(bytes, kSignature, 8) != 0) return ToolStatus::Failure(path + " is not a PNG file");
    if (got < sizeof bytes || BigEndian32(bytes + 8) != 13 || std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return ToolStatus::Failure(path + " is damaged (no image header)");
    header.width = BigEndian32(bytes + 16);
    header.height = BigEndian32(bytes + 20);
    header.bitDepth = bytes[24];
    header.colorType = bytes[25];
    if (!ValidCombination(header.colorType, header.bitDepth))
        return ToolStatus::Failure(path + " is damaged (colour type " + std::to_string(header.colorType) +
                                   " with " + std::to_string(header.bitDepth) + "-bit samples)");
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
