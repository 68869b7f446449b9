// Reading and writing TIFF directories.
#include "tools/imagefile/tiff_directory.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstring>

#include "tools/imagefile/byte_order.h"
#include "tools/imagefile/file_position.h"

namespace aperlume::tool {

FileByteSource::FileByteSource(std::FILE* file) : file_(file) {
    const std::int64_t end = FileSize(file_);
    size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

bool FileByteSource::ReadAt(std::uint64_t offset, void* out, std::size_t count) {
    if (offset > size_ || count > size_ - offset) return false;
    if (count == 0) return true;
    return SeekFile(file_, static_cast<std::int64_t>(offset), SEEK_SET) && std::fread(out, 1, count, file_) == count;
}

void ByteOverlay::Apply(std::uint64_t position, std::uint8_t* data, std::size_t count) const {
    const std::uint64_t end = position + count, overlayEnd = at + bytes.size();
    if (bytes.empty() || end <= at || position >= overlayEnd) return;
    const std::uint64_t from = std::max(position, at), to = std::min(end, overlayEnd);
    std::memcpy(data + (from - position), bytes.data() + (from - at), static_cast<std::size_t>(to - from));
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

constexpr std::uint64_t kSharedValues = 4096;
constexpr std::size_t kRecordBytes = 12;
constexpr std::size_t kRecordsAtOnce = 341;  // a table is read in pieces of 4092 bytes

enum class Kind { First, Exif, Gps, Interoperability };

// One 12-byte entry of a directory's table as it lies in the source.
struct Record {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    const std::uint8_t* word;  // the value itself when it fits in 4 bytes, else its offset
    std::uint64_t bytes;       // count * TypeSize(type)
};

// One read of a first directory and what it leads to, with the budget and the directories visited.
class Reader {
public:
    Reader(ByteSource& source, bool bigEndian, const ReadPlan& plan)
        : source_(source), bigEndian_(bigEndian), plan_(plan), left_(source.Size() + kSharedValues) {}

    bool Read(std::uint32_t offset, Kind kind, Directory& directory, std::string& why) {
        if (std::find(visited_.begin(), visited_.begin() + static_cast<std::ptrdiff_t>(visitedCount_), offset) !=
                visited_.begin() + static_cast<std::ptrdiff_t>(visitedCount_) ||
            visitedCount_ == visited_.size()) {
            why = "a directory is pointed to twice";
            return false;
        }
        visited_[visitedCount_++] = offset;
        std::uint8_t countBytes[2];
        if (!source_.ReadAt(offset, countBytes, 2)) {
            why = "a directory lies outside the file";
            return false;
        }
        const std::uint32_t count = Read16(countBytes, bigEndian_);
        if (count == 0) {
            why = "a directory is empty";
            return false;
        }
        std::uint8_t next[4];
        if (!source_.ReadAt(std::uint64_t{offset} + 2 + kRecordBytes * count, next, 4)) {
            why = "a directory lies outside the file";
            return false;
        }
        directory.offset = offset;
        directory.next = Read32(next, bigEndian_);
        if (!ReadEntries(offset, count, kind, directory, why)) return false;
        // The directories this one leads to, after its own entries: a damaged one costs only its pointer.
        std::erase_if(directory.entries, [&](Entry& entry) {
            if (!IsPointerTag(entry.tag) || (kind == Kind::First && !plan_.metadataDirectories)) return false;
            Directory sub;
            std::string ignored;
            if (!Read(entry.Number(), SubKind(entry.tag), sub, ignored) || sub.entries.empty()) return true;
            entry.subIfd = std::move(sub.entries);
            return false;
        });
        return true;
    }

private:
    // Whether `record`, a pointer tag in a directory of `kind`, leads to a directory read here.
    bool Leads(Kind kind, const Record& record) const {
        if (record.count != 1 || (record.type != kLong && record.type != kIfd)) return false;
        if (kind == Kind::First) return plan_.metadataDirectories && (record.tag == kExifIfd || record.tag == kGpsIfd);
        return kind == Kind::Exif && record.tag == kInteroperabilityIfd;
    }

    // The kept entries of the table of `count` entries at `offset`, in two passes: the first decides what
    // is kept and charges it, so that the entries are allocated once at their size and nothing is
    // allocated past the budget; the second reads them.
    bool ReadEntries(std::uint32_t offset, std::uint32_t count, Kind kind, Directory& directory, std::string& why) {
        std::bitset<65536> seen;
        const auto keeps = [&](const Record& record) {
            if (TypeSize(record.type) == 0 || seen[record.tag]) return false;  // a type from the future; a repeat
            seen.set(record.tag);
            if (kind == Kind::First && plan_.keep != nullptr && !plan_.keep(record.tag)) return false;
            return !IsPointerTag(record.tag) || Leads(kind, record) || (kind == Kind::First && !plan_.metadataDirectories);
        };
        const auto outside = [&](const Record& record) {
            return record.bytes > 4 && (Read32(record.word, bigEndian_) > source_.Size() ||
                                        record.bytes > source_.Size() - Read32(record.word, bigEndian_));
        };
        std::size_t kept = 0;
        const bool charged = ForEachRecord(offset, count, why, [&](const Record& record) {
            if (!keeps(record)) return true;
            const std::uint64_t cost = kRecordBytes + (record.bytes > 4 ? record.bytes : 0);
            if (outside(record)) {
                why = "the value of tag " + std::to_string(record.tag) + " lies outside the file";
                return false;
            }
            if (cost > left_) {
                why = "its directories claim more bytes than the file holds";
                return false;
            }
            left_ -= cost;
            ++kept;
            return true;
        });
        if (!charged) return false;
        seen.reset();
        directory.entries.clear();
        directory.entries.reserve(kept);
        return ForEachRecord(offset, count, why, [&](const Record& record) {
            if (!keeps(record)) return true;
            Entry entry;
            entry.tag = record.tag;
            entry.type = record.type;
            entry.count = record.count;
            entry.value.resize(static_cast<std::size_t>(record.bytes));
            if (record.bytes > 4) {
                entry.valueOffset = Read32(record.word, bigEndian_);
                if (!source_.ReadAt(entry.valueOffset, entry.value.data(), entry.value.size())) {
                    why = "the value of tag " + std::to_string(record.tag) + " lies outside the file";
                    return false;
                }
            } else if (record.bytes > 0) {
                std::memcpy(entry.value.data(), record.word, entry.value.size());
            }
            if (bigEndian_) Swap(entry.value, entry.type);
            directory.entries.push_back(std::move(entry));
            return true;
        });
    }

    static Kind SubKind(std::uint16_t tag) {
        return tag == kExifIfd ? Kind::Exif : tag == kGpsIfd ? Kind::Gps : Kind::Interoperability;
    }

    // Calls `visit` with each record of the table of `count` entries at `offset`, until it returns false.
    // The table is read in pieces, so that its size costs no memory.
    template <typename Visit>
    bool ForEachRecord(std::uint32_t offset, std::uint32_t count, std::string& why, Visit visit) {
        std::array<std::uint8_t, kRecordsAtOnce * kRecordBytes> piece;
        for (std::uint32_t first = 0; first < count;) {
            const std::uint32_t records = std::min<std::uint32_t>(count - first, kRecordsAtOnce);
            if (!source_.ReadAt(std::uint64_t{offset} + 2 + kRecordBytes * first, piece.data(), kRecordBytes * records)) {
                why = "a directory lies outside the file";
                return false;
            }
            for (std::uint32_t i = 0; i < records; ++i) {
                const std::uint8_t* raw = piece.data() + kRecordBytes * i;
                Record record{static_cast<std::uint16_t>(Read16(raw, bigEndian_)),
                              static_cast<std::uint16_t>(Read16(raw + 2, bigEndian_)), Read32(raw + 4, bigEndian_), raw + 8, 0};
                record.bytes = std::uint64_t{record.count} * TypeSize(record.type);
                if (!visit(record)) return false;
            }
            first += records;
        }
        return true;
    }

    ByteSource& source_;
    bool bigEndian_;
    const ReadPlan& plan_;
    std::uint64_t left_;
    std::array<std::uint32_t, 4> visited_{};
    std::size_t visitedCount_ = 0;
};

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

bool ReadDirectory(ByteSource& source, bool bigEndian, std::uint32_t offset, const ReadPlan& plan, Directory& directory,
                   std::string& why) {
    Reader reader(source, bigEndian, plan);
    return reader.Read(offset, Kind::First, directory, why);
}

std::vector<std::uint8_t> WriteDirectory(const Directory& directory, std::uint32_t offset, bool bigEndian) {
    std::vector<std::uint8_t> out;
    AppendDirectory(directory.entries, directory.next, offset, bigEndian, out);
    return out;
}

std::vector<std::uint8_t> WriteTableInPlace(const Directory& directory, bool (*keep)(std::uint16_t tag),
                                            bool bigEndian) {
    std::vector<const Entry*> kept;
    for (const Entry& entry : directory.entries)
        if (keep(entry.tag)) kept.push_back(&entry);
    std::stable_sort(kept.begin(), kept.end(), [](const Entry* a, const Entry* b) { return a->tag < b->tag; });
    std::vector<std::uint8_t> out;
    Append16(out, static_cast<std::uint32_t>(kept.size()), bigEndian);
    for (const Entry* entry : kept) {
        Append16(out, entry->tag, bigEndian);
        Append16(out, entry->type, bigEndian);
        Append32(out, entry->count, bigEndian);
        if (entry->value.size() > 4) {
            Append32(out, entry->valueOffset, bigEndian);
        } else {
            std::vector<std::uint8_t> value = entry->value;
            if (bigEndian) Swap(value, entry->type);
            value.resize(4, 0);
            out.insert(out.end(), value.begin(), value.end());
        }
    }
    Append32(out, 0, bigEndian);
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
