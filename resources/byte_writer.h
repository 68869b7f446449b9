// Appends the little-endian values, four-character codes and strings that the module's resources are
// made of. Four-character codes are stored as little-endian 32-bit integers, so their characters
// appear reversed in the bytes ("8BIM" as "MIB8"), as Windows hosts read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace aperlume {

class ByteWriter {
public:
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    void U16(std::uint16_t value);
    void U32(std::uint32_t value);
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
    void Code(const char (&code)[5]);
    void Double(double value);
    void Text(std::string_view text);          // the bytes alone
    void CString(std::string_view text);       // the bytes and a NUL
    void PString(std::string_view text);       // a length byte and the bytes (at most 255)
    void Zeros(std::size_t count);
    // Zero bytes up to `size` bytes written since `start`.
    void FillTo(std::size_t start, std::size_t size);
    // Zero bytes up to the next multiple of `alignment` of the total size.
    void Align(std::size_t alignment);
    // Overwrite a value written earlier at `offset`.
    void PatchU16(std::size_t offset, std::uint16_t value);
    void PatchU32(std::size_t offset, std::uint32_t value);

    std::size_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace aperlume
