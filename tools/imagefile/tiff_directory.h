// TIFF directories (IFDs) as lists of entries: read from a TIFF file or an EXIF block, and written back
// out. The file check, the EXIF block carried between formats and the metadata added to TIFF files all
// use them. Values are kept little-endian whatever the source's byte order, and converted on output.
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

namespace tiff {

enum Tag : std::uint16_t {
    kNewSubfileType = 254,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
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

    // Value `index` of a BYTE, SHORT or LONG entry (0 beyond the end or for other types).
    std::uint32_t Number(std::size_t index = 0) const;
    // Value `index` of a RATIONAL entry as a number (0 for a zero denominator).
    double Rational(std::size_t index = 0) const;
};

struct Directory {
    std::vector<Entry> entries;  // in the order of the source
    std::uint32_t next = 0;      // the offset of the next directory, 0 for none

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

// Reads the directory at `offset`. Pointer tags in `followed` lead to sub-directories, read as well
// (EXIF, GPS and interoperability at most two levels deep). Fails with `why` set when the directory or a
// value lies outside the source or an entry is malformed.
bool ReadDirectory(ByteSource& source, bool bigEndian, std::uint32_t offset, std::span<const std::uint16_t> followed,
                   Directory& directory, std::string& why);

// The bytes of `directory` (with its values and sub-directories after it) placed at `offset` of a stream
// in the given byte order.
std::vector<std::uint8_t> WriteDirectory(const Directory& directory, std::uint32_t offset, bool bigEndian);

// Entries made from plain values, little-endian.
Entry ShortEntry(std::uint16_t tag, std::uint16_t value);
Entry RationalEntry(std::uint16_t tag, double value);
Entry BytesEntry(std::uint16_t tag, std::uint16_t type, std::span<const std::uint8_t> bytes);

}  // namespace tiff
}  // namespace aperlume::tool
