// Reading and writing TIFF directories.
#include "tools/imagefile/tiff_directory.h"

#include "tools/imagefile/byte_order.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstring>

namespace aperlume::tool {

FileByteSource::FileByteSource(std::FILE* file) : file_(file) {
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        const long end = std::ftell(file_);
        size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    }
}

bool FileByteSource::ReadAt(std::uint64_t offset, void* out, std::size_t count) {
    if (offset > size_ || count > size_ - offset) return false;
    if (count == 0) return true;
    if (offset > static_cast<std::uint64_t>(LONG_MAX) || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(out, 1, count, file_) == count;
}

bool MemoryByteSource::ReadAt(std::uint64_t offset, void* out, std::size_t count) {
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    if (count != 0) std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

namespace tiff {
namespace {

// The size of the unit whose bytes a change of byte order reverses.
std::size_t SwapUnit(std::uint16_t type) {
    switch (type) {
        case kShort: case kSShort: return 2;
        case kLong: case kSLong: case kRational: case kSRational: case kFloat: case kIfd: return 4;
        case kDouble: case kLong8: case kSLong8: case kIfd8: return 8;
        default: return 1;
    }
}

void Swap(std::vector<std::uint8_t>& bytes, std::uint16_t type) {
    const std::size_t unit = SwapUnit(type);
    if (unit == 1) return;
    for (std::size_t at = 0; at + unit <= bytes.size(); at += unit) std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + unit));
}

std::uint32_t Read16(const std::uint8_t* bytes, bool bigEndian) {
    return bigEndian ? BigEndian16(bytes) : LittleEndian16(bytes);
}

std::uint32_t Read32(const std::uint8_t* bytes, bool bigEndian) {
    return bigEndian ? BigEndian32(bytes) : LittleEndian32(bytes);
}

bool IsPointerTag(std::uint16_t tag) { return tag == kExifIfd || tag == kGpsIfd || tag == kInteroperabilityIfd; }

bool ReadDirectoryAt(ByteSource& source, bool bigEndian, std::uint32_t offset, std::span<const std::uint16_t> followed,
                     int depth, Directory& directory, std::string& why) {
    std::uint8_t countBytes[2];
    if (!source.ReadAt(offset, countBytes, 2)) {
        why = "a directory lies outside the file";
        return false;
    }
    const std::uint32_t count = Read16(countBytes, bigEndian);
    if (count == 0) {
        why = "a directory is empty";
        return false;
    }
    std::vector<std::uint8_t> table(count * 12u + 4u);
    if (!source.ReadAt(std::uint64_t{offset} + 2u, table.data(), table.size())) {
        why = "a directory lies outside the file";
        return false;
    }
    directory.entries.clear();
    directory.entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* raw = table.data() + 12u * i;
        Entry entry;
        entry.tag = static_cast<std::uint16_t>(Read16(raw, bigEndian));
        entry.type = static_cast<std::uint16_t>(Read16(raw + 2, bigEndian));
        entry.count = Read32(raw + 4, bigEndian);
        const std::size_t size = TypeSize(entry.type);
        if (size == 0) continue;  // a type from the future: a reader skips such an entry
        const std::uint64_t bytes = std::uint64_t{entry.count} * size;
        if (bytes > source.Size()) {
            why = "the value of tag " + std::to_string(entry.tag) + " lies outside the file";
            return false;
        }
        entry.value.resize(static_cast<std::size_t>(bytes));
        if (bytes == 0) {
            // no value at all: nothing to copy (and no buffer to copy into)
        } else if (bytes <= 4) {
            std::memcpy(entry.value.data(), raw + 8, static_cast<std::size_t>(bytes));
        } else if (!source.ReadAt(Read32(raw + 8, bigEndian), entry.value.data(), entry.value.size())) {
            why = "the value of tag " + std::to_string(entry.tag) + " lies outside the file";
            return false;
        }
        if (bigEndian) Swap(entry.value, entry.type);
        const bool follow = std::find(followed.begin(), followed.end(), entry.tag) != followed.end();
        if (follow && IsPointerTag(entry.tag) && depth < 2 && entry.count == 1 &&
            (entry.type == kLong || entry.type == kIfd)) {
            Directory sub;
            if (!ReadDirectoryAt(source, bigEndian, entry.Number(), followed, depth + 1, sub, why)) return false;
            entry.subIfd = std::move(sub.entries);
        }
        directory.entries.push_back(std::move(entry));
    }
    directory.next = Read32(table.data() + 12u * count, bigEndian);
    return true;
}

void Patch32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, bool bigEndian) {
    std::vector<std::uint8_t> bytes;
    Append32(bytes, value, bigEndian);
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// Appends `entries` as a directory at the end of `out`, whose end is `base` bytes into the stream: the
// table, then the values that do not fit in an entry, then the sub-directories, each on a word boundary.
void AppendDirectory(const std::vector<Entry>& entries, std::uint32_t next, std::uint32_t base, bool bigEndian,
                     std::vector<std::uint8_t>& out) {
    std::vector<const Entry*> sorted;
    for (const Entry& entry : entries) sorted.push_back(&entry);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry* a, const Entry* b) { return a->tag < b->tag; });
    const std::size_t tableAt = out.size();
    const auto streamOffset = [&](std::size_t index) { return static_cast<std::uint32_t>(base + (index - tableAt)); };
    std::vector<std::size_t> slots(sorted.size(), 0);  // where an entry's offset goes, 0 for inline values
    Append16(out, static_cast<std::uint32_t>(sorted.size()), bigEndian);
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const Entry& entry = *sorted[i];
        const bool pointer = !entry.subIfd.empty();
        Append16(out, entry.tag, bigEndian);
        Append16(out, pointer ? std::uint16_t{kLong} : entry.type, bigEndian);
        Append32(out, pointer ? 1u : entry.count, bigEndian);
        if (pointer || entry.value.size() > 4) {
            slots[i] = out.size();
            Append32(out, 0, bigEndian);
        } else {
            std::vector<std::uint8_t> value = entry.value;
            if (bigEndian) Swap(value, entry.type);
            value.resize(4, 0);
            out.insert(out.end(), value.begin(), value.end());
        }
    }
    Append32(out, next, bigEndian);
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (slots[i] == 0 || !sorted[i]->subIfd.empty()) continue;
        if (out.size() % 2 != 0) out.push_back(0);
        Patch32(out, slots[i], streamOffset(out.size()), bigEndian);
        std::vector<std::uint8_t> value = sorted[i]->value;
        if (bigEndian) Swap(value, sorted[i]->type);
        out.insert(out.end(), value.begin(), value.end());
    }
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (sorted[i]->subIfd.empty()) continue;
        if (out.size() % 2 != 0) out.push_back(0);
        const std::uint32_t at = streamOffset(out.size());
        Patch32(out, slots[i], at, bigEndian);
        AppendDirectory(sorted[i]->subIfd, 0, at, bigEndian, out);
    }
}

}  // namespace

std::size_t TypeSize(std::uint16_t type) {
    switch (type) {
        case kByte: case kAscii: case kSByte: case kUndefined: return 1;
        case kShort: case kSShort: return 2;
        case kLong: case kSLong: case kFloat: case kIfd: return 4;
        case kRational: case kSRational: case kDouble: case kLong8: case kSLong8: case kIfd8: return 8;
        default: return 0;
    }
}

std::uint32_t Entry::Number(std::size_t index) const {
    const std::size_t size = TypeSize(type);
    if ((type != kByte && type != kShort && type != kLong && type != kIfd) || (index + 1) * size > value.size())
        return 0;
    const std::uint8_t* at = value.data() + index * size;
    std::uint32_t result = 0;
    for (std::size_t i = size; i-- > 0;) result = result << 8 | at[i];
    return result;
}

double Entry::Rational(std::size_t index) const {
    if (type != kRational || (index + 1) * 8 > value.size()) return 0;
    const std::uint8_t* at = value.data() + index * 8;
    const std::uint32_t numerator = Read32(at, false), denominator = Read32(at + 4, false);
    return denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
}

const Entry* Directory::Find(std::uint16_t tag) const {
    for (const Entry& entry : entries)
        if (entry.tag == tag) return &entry;
    return nullptr;
}

void Directory::Remove(std::uint16_t tag) {
    std::erase_if(entries, [tag](const Entry& entry) { return entry.tag == tag; });
}

void Directory::Put(Entry entry) {
    Remove(entry.tag);
    const auto at = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.tag > entry.tag; });
    entries.insert(at, std::move(entry));
}

bool ReadHeader(ByteSource& source, Header& header) {
    std::uint8_t bytes[8];
    if (!source.ReadAt(0, bytes, 8)) return false;
    if ((bytes[0] != 'I' || bytes[1] != 'I') && (bytes[0] != 'M' || bytes[1] != 'M')) return false;
    header.bigEndian = bytes[0] == 'M';
    if (Read16(bytes + 2, header.bigEndian) != 42) return false;
    header.firstDirectory = Read32(bytes + 4, header.bigEndian);
    return true;
}

bool ReadDirectory(ByteSource& source, bool bigEndian, std::uint32_t offset, std::span<const std::uint16_t> followed,
                   Directory& directory, std::string& why) {
    return ReadDirectoryAt(source, bigEndian, offset, followed, 0, directory, why);
}

std::vector<std::uint8_t> WriteDirectory(const Directory& directory, std::uint32_t offset, bool bigEndian) {
    std::vector<std::uint8_t> out;
    AppendDirectory(directory.entries, directory.next, offset, bigEndian, out);
    return out;
}

Entry ShortEntry(std::uint16_t tag, std::uint16_t value) {
    return Entry{tag, kShort, 1, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)}, {}};
}

Entry RationalEntry(std::uint16_t tag, double value) {
    // Whole numbers exactly; others to a ten-thousandth.
    const double whole = std::round(value);
    const bool exact = std::fabs(value - whole) < 1e-9;
    const double scaled = exact ? whole : std::round(value * 10000.0);
    const auto numerator = static_cast<std::uint32_t>(std::clamp(scaled, 0.0, 4294967295.0));
    const std::uint32_t denominator = exact ? 1u : 10000u;
    Entry entry{tag, kRational, 1, {}, {}};
    Append32(entry.value, numerator, false);
    Append32(entry.value, denominator, false);
    return entry;
}

Entry BytesEntry(std::uint16_t tag, std::uint16_t type, std::span<const std::uint8_t> bytes) {
    return Entry{tag, type, static_cast<std::uint32_t>(bytes.size()), {bytes.begin(), bytes.end()}, {}};
}

}  // namespace tiff
}  // namespace aperlume::tool
