// Numbers in the byte orders files keep them: big-endian (PNG, JPEG, and TIFF files that start "MM")
// and little-endian (TIFF files that start "II", and the 16-bit samples of a ToolImage).
#pragma once

#include <cstdint>
#include <vector>

namespace aperlume::tool {

inline std::uint32_t BigEndian16(const std::uint8_t* at) { return std::uint32_t{at[0]} << 8 | at[1]; }
inline std::uint32_t BigEndian32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}
inline std::uint32_t LittleEndian16(const std::uint8_t* at) { return std::uint32_t{at[1]} << 8 | at[0]; }
inline std::uint32_t LittleEndian32(const std::uint8_t* at) {
    return std::uint32_t{at[3]} << 24 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[1]} << 8 | at[0];
}

// The low 16 or 32 bits of `value` appended to `out` in the given order.
inline void Append16(std::vector<std::uint8_t>& out, std::uint32_t value, bool bigEndian) {
    const auto high = static_cast<std::uint8_t>(value >> 8), low = static_cast<std::uint8_t>(value);
    if (bigEndian) out.insert(out.end(), {high, low}); else out.insert(out.end(), {low, high});
}
inline void Append32(std::vector<std::uint8_t>& out, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

}  // namespace aperlume::tool
