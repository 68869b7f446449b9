// TIFF directories (IFDs) as lists of entries: read from a TIFF file or an EXIF block, and written back
// out. The file check, the EXIF block carried between formats and the metadata added to TIFF files all
// use them. Values are kept little-endian whatever the source's byte order, and converted on output;
// each entry read remembers where its value lay in the source, and each directory where it began, so
// that a caller can go back to the source's own bytes (a maker note whose offsets count from them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace aperlume::tool {

// Random access to the bytes of a file or a memory block.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads `count` bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t count) = 0;
};

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(std::FILE* file);
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t count) override;

private:
    std::FILE* file_;
    std::uint64_t size_ = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t count) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Bytes meant to lie at `at` of a file in place of its own, for a reader that is to see them there.
struct ByteOverlay {
    std::uint64_t at = 0;
    std::vector<std::uint8_t> bytes;

    // Puts the part of the overlay that falls in the `count` bytes read at `position` into `data`.
    void Apply(std::uint64_t position, std::uint8_t* data, std::size_t count) const;
};

namespace tiff {

enum Tag : std::uint16_t {
    kNewSubfileType = 254,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kImageDescription = 270,
    kMake = 271,
    kModel = 272,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanarConfiguration = 284,
    kResolutionUnit = 296,
    kSoftware = 305,
    kDateTime = 306,
    kArtist = 315,
    kHostComputer = 316,
    kPredictor = 317,
    kWhitePoint = 318,
    kPrimaryChromaticities = 319,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
    kInkSet = 332,
    kExtraSamples = 338,
    kSampleFormat = 339,
    kXmp = 700,
    kCopyright = 33432,
    kExifIfd = 34665,
    kIccProfile = 34675,
    kGpsIfd = 34853,
    kInteroperabilityIfd = 40965,
};

enum Type : std::uint16_t {
    kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7, kSShort = 8,
    kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12, kIfd = 13, kLong8 = 16, kSLong8 = 17, kIfd8 = 18,
};

// Bytes of one value of `type` (a rational is two longs), 0 for a type this code does not know.
std::size_t TypeSize(std::uint16_t type);

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> value;  // count * TypeSize(type) bytes, little-endian
    std::vector<Entry> subIfd;        // the directory a pointer tag (EXIF, GPS, interoperability) leads to
    std::uint32_t valueOffset = 0;    // where a value of more than 4 bytes lay in the source; 0 for others

    // Value `index` of a BYTE, SHORT or LONG entry (0 beyond the end or for other types).
    std::uint32_t Number(std::size_t index = 0) const;
    // Value `index` of a RATIONAL entry as a number (0 for a zero denominator).
    double Rational(std::size_t index = 0) const;
};

struct Directory {
    std::vector<Entry> entries;  // in the order of the source
    std::uint32_t next = 0;      // the offset of the next directory, 0 for none
    std::uint32_t offset = 0;    // where it lay in the source

    const Entry* Find(std::uint16_t tag) const;
    void Remove(std::uint16_t tag);
    void Put(Entry entry);  // replaces an entry of the same tag, keeps the tags in ascending order
};

// The header of a classic TIFF stream: byte order, and the offset of the first directory.
struct Header {
    bool bigEndian = false;
    std::uint32_t firstDirectory = 0;
};

// Reads the 8-byte header; false for anything that is not a classic TIFF header.
bool ReadHeader(ByteSource& source, Header& header);

// What a read keeps: the entries of the first directory whose tag `keep` accepts (every one without
// it), and with `metadataDirectories` the EXIF and GPS directories it points to and the
// interoperability directory the EXIF one points to, every entry of them (the maker note too, as bytes).
// Other entries are passed over unread. Pointer tags lead nowhere else: one in a place where no
// directory is followed is dropped, as its offset would be stale once written elsewhere (except in a
// first directory read without `metadataDirectories`, which keeps it as a number).
struct ReadPlan {
    bool (*keep)(std::uint16_t tag) = nullptr;
    bool metadataDirectories = false;
};

// Reads the directory at `offset` as `plan` says. Fails with `why` set when the first directory or one of
// its kept values lies outside the source, an entry is malformed, or the budget below is spent; an EXIF,
// GPS or interoperability directory that fails so is dropped with the entry pointing to it.
//
// The cost is bounded by the source's size, however its directories point to each other:
// - At most four directories are visited (the first, EXIF, GPS, interoperability), each once: a pointer to
//   a directory already read is dropped, and of entries with the same tag in one directory the first wins.
// - Each entry kept counts 12 bytes (its size in the source) and each value stored outside its entry its
//   own size, against a budget of source.Size() + 4 KiB (the 4 KiB for values honest writers share, such
//   as one resolution for both axes). In memory an entry takes sizeof(Entry), 64 bytes natively, plus
//   its value's block: at most 8 bytes for each byte counted, so a read allocates at most
//   8 * (source.Size() + 4 KiB) bytes in all, besides 12 KiB of stack for the pieces of a table.
// - Its time is linear in the source's size: each table visited is read twice, in pieces (once to charge
//   what it keeps, once to keep it), and each value kept once.
bool ReadDirectory(ByteSource& source, bool bigEndian, std::uint32_t offset, const ReadPlan& plan, Directory& directory,
                   std::string& why);

// The bytes of `directory` (with its values and sub-directories after it) placed at `offset` of a stream
// in the given byte order.
std::vector<std::uint8_t> WriteDirectory(const Directory& directory, std::uint32_t offset, bool bigEndian);

// The table of the entries of `directory` (read from a source, no sub-directories) that `keep` accepts,
// to be put back where the directory lay, for a decoder that is to see those entries and no other:
// values of more than 4 bytes stay where they were (Entry::valueOffset), and no directory follows. It is
// never longer than the source's own table.
std::vector<std::uint8_t> WriteTableInPlace(const Directory& directory, bool (*keep)(std::uint16_t tag),
                                            bool bigEndian);

// Entries made from plain values, little-endian.
Entry ShortEntry(std::uint16_t tag, std::uint16_t value);
Entry RationalEntry(std::uint16_t tag, double value);
Entry BytesEntry(std::uint16_t tag, std::uint16_t type, std::span<const std::uint8_t> bytes);

}  // namespace tiff
}  // namespace aperlume::tool
