// PNG files built byte by byte, for tests that need files no encoder writes (damaged, lying, unusual).
// The checksum is the bitwise definition, independent of the tool's table; the image data is a zlib
// stream of stored blocks, which every decoder reads and no build needs zlib for.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace aperlume::tool::testing {

using Bytes = std::vector<std::uint8_t>;

struct PngChunk {
    std::string type;
    Bytes data;
};

inline void AppendBigEndian(Bytes& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline std::uint32_t BitwiseCrc(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

inline Bytes ImageHeader(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colorType,
                         std::uint8_t interlace = 0) {
    Bytes data;
    AppendBigEndian(data, width);
    AppendBigEndian(data, height);
    data.insert(data.end(), {depth, colorType, 0, 0, interlace});
    return data;
}

// `raw` (filter bytes and rows) as a zlib stream of stored blocks.
inline Bytes StoredZlib(const Bytes& raw) {
    Bytes out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
        out.push_back(at + length == raw.size() ? 1 : 0);
        for (std::size_t v : {length, length ^ 0xffffu}) {
            out.push_back(static_cast<std::uint8_t>(v & 0xff));
            out.push_back(static_cast<std::uint8_t>(v >> 8 & 0xff));
        }
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    AppendBigEndian(out, b << 16 | a);
    return out;
}

// An 8-bit image of `rows` rows of `rowBytes` bytes each (every row filter 0, byte value `fill`).
inline Bytes ImageData(std::size_t rows, std::size_t rowBytes, std::uint8_t fill) {
    Bytes raw;
    for (std::size_t r = 0; r < rows; ++r) {
        raw.push_back(0);
        raw.insert(raw.end(), rowBytes, fill);
    }
    return StoredZlib(raw);
}

// IHDR, IDAT and IEND of a width x height RGB image, every sample `fill`.
inline std::vector<PngChunk> RgbChunks(std::uint32_t width, std::uint32_t height, std::uint8_t fill) {
    return {{"IHDR", ImageHeader(width, height, 8, 2)}, {"IDAT", ImageData(height, width * 3u, fill)}, {"IEND", {}}};
}

inline Bytes PngFile(const std::vector<PngChunk>& chunks) {
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (const PngChunk& chunk : chunks) {
        AppendBigEndian(file, static_cast<std::uint32_t>(chunk.data.size()));
        const std::size_t typeAt = file.size();
        file.insert(file.end(), chunk.type.begin(), chunk.type.end());
        file.insert(file.end(), chunk.data.begin(), chunk.data.end());
        AppendBigEndian(file, BitwiseCrc(file.data() + typeAt, file.size() - typeAt));
    }
    return file;
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace aperlume::tool::testing
