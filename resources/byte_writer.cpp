// Little-endian byte writing for the resource builders.
#include "resources/byte_writer.h"

#include <bit>
#include <cassert>

#include "host/host_records.h"

namespace aperlume {

void ByteWriter::U16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xff));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>((value >> shift) & 0xff));
}

void ByteWriter::Code(const char (&code)[5]) { U32(FourCC(code)); }

void ByteWriter::Double(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    U32(static_cast<std::uint32_t>(bits & 0xffffffffu));
    U32(static_cast<std::uint32_t>(bits >> 32));
}

void ByteWriter::Text(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }

void ByteWriter::CString(std::string_view text) {
    Text(text);
    U8(0);
}

void ByteWriter::PString(std::string_view text) {
    assert(text.size() <= 255);
    U8(static_cast<std::uint8_t>(text.size()));
    Text(text);
}

void ByteWriter::Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }

void ByteWriter::FillTo(std::size_t start, std::size_t size) {
    assert(bytes_.size() <= start + size);
    if (bytes_.size() < start + size) Zeros(start + size - bytes_.size());
}

void ByteWriter::Align(std::size_t alignment) {
    while (bytes_.size() % alignment != 0) U8(0);
}

void ByteWriter::PatchU16(std::size_t offset, std::uint16_t value) {
    bytes_[offset] = static_cast<std::uint8_t>(value & 0xff);
    bytes_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void ByteWriter::PatchU32(std::size_t offset, std::uint32_t value) {
    PatchU16(offset, static_cast<std::uint16_t>(value & 0xffff));
    PatchU16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace aperlume
