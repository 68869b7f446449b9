// The PNG chunk walk of the image file check. Chunks are read in pieces through a small buffer, so a
// chunk that claims gigabytes costs no more memory than one of a few bytes, and a length that runs past
// the end of the file shows up as a file cut short.
#include "tools/imagefile/png_structure.h"

#include <array>
#include <cstring>
#include <vector>

#include "tools/imagefile/byte_order.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// Deflate turns one byte of input into at most 1032 bytes of output (a 258-byte match coded in two
// bits), so no image needs less compressed data than 1/1032 of its raw size.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
constexpr std::uint32_t kMaxChunkLength = 0x7fffffffu;
// Metadata chunks are kept whole for image_metadata.h, up to this size (larger ones are dropped).
constexpr std::uint32_t kMaxMetadataChunk = 64u << 20;

bool IsMetadataChunk(const unsigned char* type) {
    return std::memcmp(type, "iCCP", 4) == 0 || std::memcmp(type, "eXIf", 4) == 0 || std::memcmp(type, "iTXt", 4) == 0 ||
           std::memcmp(type, "pHYs", 4) == 0;
}

bool IsChunkType(const unsigned char* type) {
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = type[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
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

// Samples per pixel as stored: gray, -, RGB, palette index, gray+alpha, -, RGBA.
std::int32_t StoredChannels(std::uint8_t colorType) {
    static constexpr std::int32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    return kChannels[colorType];
}

struct Walk {
    const std::string& path;
    CheckedImageFile& checked;
    bool header = false;
    bool transparency = false;
    std::uint32_t paletteEntries = 0;  // 0: no palette yet
    bool dataStarted = false;
    bool dataEnded = false;
    std::uint64_t dataBytes = 0;

    ToolStatus Damaged(const std::string& why) const { return tool::Damaged(path, why); }
};

ToolStatus ReadImageHeader(Walk& walk, const unsigned char* data, std::uint32_t length, const ImageLimits& limits) {
    if (walk.header) return walk.Damaged("it has two image headers");
    if (length != 13) return walk.Damaged("its image header is invalid");
    CheckedImageFile& checked = walk.checked;
    checked.format = ImageFormat::Png;
    checked.width = BigEndian32(data);
    checked.height = BigEndian32(data + 4);
    checked.bitDepth = data[8];
    checked.pngColorType = data[9];
    checked.interlaced = data[12] == 1;
    if (!ValidCombination(data[9], data[8]))
        return walk.Damaged("colour type " + std::to_string(data[9]) + " with " + std::to_string(data[8]) +
                            "-bit samples");
    if (checked.width == 0 || checked.height == 0 || checked.width > kMaxChunkLength || checked.height > kMaxChunkLength ||
        data[10] != 0 || data[11] != 0 || data[12] > 1)
        return walk.Damaged("its image header is invalid");
    walk.header = true;
    return CheckImageSize(checked.width, checked.height, limits, walk.path);
}

// The chunks that decide how the image is read, and where they may stand.
ToolStatus ReadChunk(Walk& walk, const unsigned char* type, const unsigned char* data, std::uint32_t length,
                     const ImageLimits& limits) {
    const std::string name(reinterpret_cast<const char*>(type), 4);
    if (!walk.header && name != "IHDR") return walk.Damaged("it does not start with an image header");
    const std::uint8_t colorType = walk.checked.pngColorType;
    if (name == "IHDR") return ReadImageHeader(walk, data, length, limits);
    if (name == "IDAT") {
        if (walk.dataEnded) return walk.Damaged("its image data is split");
        if (colorType == 3 && walk.paletteEntries == 0) return walk.Damaged("its palette is missing");
        walk.dataStarted = true;
        walk.dataBytes += length;
        return ToolStatus::Success();
    }
    if (walk.dataStarted) walk.dataEnded = true;
    if (name == "PLTE") {
        if (walk.paletteEntries != 0 || walk.dataStarted || walk.transparency || length == 0 || length % 3 != 0 ||
            length / 3 > 256 || (colorType == 3 && length / 3 > (1u << walk.checked.bitDepth)))
            return walk.Damaged("its palette is invalid");
        walk.paletteEntries = length / 3;
        return ToolStatus::Success();
    }
    if (name == "tRNS") {
        const bool fits = (colorType == 0 && length == 2) || (colorType == 2 && length == 6) ||
                          (colorType == 3 && length >= 1 && length <= walk.paletteEntries);
        if (!fits || walk.transparency || walk.dataStarted) return walk.Damaged("its transparency chunk is invalid");
        walk.transparency = true;
        return ToolStatus::Success();
    }
    // Any other chunk whose name starts with a capital is one a decoder must understand to draw the
    // image; none other exists today, so such a file is from a future or a broken writer.
    if (name == "IEND") return length == 0 ? ToolStatus::Success() : walk.Damaged("its end chunk is invalid");
    if ((type[0] & 0x20) == 0)
        return ToolStatus::Failure(walk.path + " uses a chunk this tool cannot read (" + name + ")");
    return ToolStatus::Success();
}

}  // namespace

std::uint32_t PngCrc(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    std::uint32_t c = crc ^ 0xffffffffu;
    for (std::size_t i = 0; i < count; ++i) c = kCrcTable[(c ^ bytes[i]) & 0xffu] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

ToolStatus CheckPngStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                             CheckedImageFile& checked) {
    checked.metadata = {};
    Walk walk{path, checked};
    std::array<unsigned char, 16384> buffer{};
    for (;;) {
        unsigned char head[8];
        if (std::fread(head, 1, 8, file) != 8) return walk.Damaged("it is cut short");
        const std::uint32_t length = BigEndian32(head);
        const unsigned char* type = head + 4;
        if (length > kMaxChunkLength) return walk.Damaged("a chunk length is out of range");
        if (!IsChunkType(type)) return walk.Damaged("a chunk has no valid name");
        // The checksum covers the type and the data; the first bytes of the data are kept for the
        // chunks whose content matters here (at most an image header's 13).
        std::uint32_t crc = PngCrc(0, type, 4);
        unsigned char start[13] = {};
        std::vector<std::uint8_t> whole;
        const bool keep = IsMetadataChunk(type) && length <= kMaxMetadataChunk;
        for (std::uint32_t left = length; left > 0;) {
            const std::size_t want = left < buffer.size() ? left : buffer.size();
            if (std::fread(buffer.data(), 1, want, file) != want) return walk.Damaged("it is cut short");
            const std::uint32_t offset = length - left;
            if (offset < sizeof start)
                std::memcpy(start + offset, buffer.data(), want < sizeof start - offset ? want : sizeof start - offset);
            crc = PngCrc(crc, buffer.data(), want);
            if (keep) whole.insert(whole.end(), buffer.data(), buffer.data() + want);
            left -= static_cast<std::uint32_t>(want);
        }
        unsigned char stored[4];
        if (std::fread(stored, 1, 4, file) != 4) return walk.Damaged("it is cut short");
        const std::string name(reinterpret_cast<const char*>(type), 4);
        if (BigEndian32(stored) != crc) return walk.Damaged("bad checksum in its " + name + " chunk");
        if (ToolStatus s = ReadChunk(walk, type, start, length, limits); !s.ok()) return s;
        if (keep) ReadPngMetadataChunk(name, whole, checked.metadata);
        if (name == "IEND") break;
    }
    if (!walk.dataStarted) return walk.Damaged("it has no image data");

    const std::uint64_t bitsPerPixel =
        static_cast<std::uint64_t>(StoredChannels(checked.pngColorType)) * static_cast<std::uint64_t>(checked.bitDepth);
    const std::uint64_t pixels = std::uint64_t{checked.width} * checked.height;
    const std::uint64_t supportedBits = walk.dataBytes * 8u * kMaxDeflateRatio;  // far from overflow: data is read
    if (pixels > supportedBits / bitsPerPixel)
        return walk.Damaged("its image data is too short for a " + SizeText(checked.width, checked.height) + " image");
    checked.channels = StoredChannels(checked.pngColorType) + (checked.pngColorType == 3 ? 2 : 0) + (walk.transparency ? 1 : 0);
    checked.dataBytes = walk.dataBytes;
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
