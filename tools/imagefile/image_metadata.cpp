// Reading and writing the metadata of PNG, JPEG and TIFF files.
#include "tools/imagefile/image_metadata.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/imagefile/byte_order.h"
#include "tools/imagefile/file_position.h"
#include "tools/imagefile/png_structure.h"

namespace aperlume::tool {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kXmpKeyword[] = "XML:com.adobe.xmp";
constexpr char kJpegXmpName[] = "http://ns.adobe.com/xap/1.0/";  // with its terminating zero
constexpr char kJpegIccName[] = "ICC_PROFILE";
constexpr std::size_t kJpegSegmentData = 65533;  // a segment's length field counts itself
constexpr std::size_t kIccPieceData = kJpegSegmentData - sizeof kJpegIccName - 2;
constexpr std::size_t kMostInflated = std::size_t{64} << 20;  // a profile or packet larger than this is dropped
constexpr double kMetresPerInch = 0.0254;
constexpr bool kBigEndian = true;  // PNG and JPEG numbers

// The tags of a first directory that EXIF shares with TIFF and that describe the image rather than
// store it; they travel in the EXIF block.
constexpr std::uint16_t kExifDescriptiveTags[] = {tiff::kImageDescription, tiff::kMake,      tiff::kModel,
                                                  tiff::kOrientation,      tiff::kSoftware,  tiff::kDateTime,
                                                  tiff::kArtist,           tiff::kHostComputer, tiff::kWhitePoint,
                                                  tiff::kPrimaryChromaticities, tiff::kCopyright};

bool IsDescriptiveTag(std::uint16_t tag) {
    return std::find(std::begin(kExifDescriptiveTags), std::end(kExifDescriptiveTags), tag) !=
           std::end(kExifDescriptiveTags);
}

bool IsResolutionTag(std::uint16_t tag) {
    return tag == tiff::kXResolution || tag == tiff::kYResolution || tag == tiff::kResolutionUnit;
}

// The tags of an EXIF block's first directory that the tool carries.
bool IsExifBlockTag(std::uint16_t tag) {
    return IsDescriptiveTag(tag) || IsResolutionTag(tag) || tag == tiff::kExifIfd || tag == tiff::kGpsIfd;
}

// A tag that travels in the EXIF block: a descriptive one, or the EXIF or GPS directory.
bool IsExifTag(const tiff::Entry& entry) {
    if (entry.tag == tiff::kExifIfd || entry.tag == tiff::kGpsIfd) return !entry.subIfd.empty();
    return IsDescriptiveTag(entry.tag);
}

bool StartsWith(std::span<const std::uint8_t> data, const char* prefix, std::size_t length) {
    return data.size() >= length && std::memcmp(data.data(), prefix, length) == 0;
}

bool IsExifBlock(std::span<const std::uint8_t> data) {
    return StartsWith(data, "II*\0", 4) || StartsWith(data, "MM\0*", 4);
}

// Inflates a zlib stream; empty for a damaged one or one beyond kMostInflated.
Bytes Inflate(std::span<const std::uint8_t> data) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return {};
    Bytes out;
    std::uint8_t buffer[16384];
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        if (out.size() > kMostInflated) result = Z_MEM_ERROR;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : Bytes();
}

Bytes Deflate(std::span<const std::uint8_t> data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

void Append(Bytes& out, const char* text, std::size_t length) { out.insert(out.end(), text, text + length); }

// A PNG pHYs in pixels per metre, read as dots per inch: a whole number of dots per inch is stored to the
// nearest pixel per metre (within 0.0127 dpi), and is read back whole.
double InchesFromMetres(std::uint32_t perMetre) {
    const double perInch = perMetre * kMetresPerInch;
    const double whole = std::round(perInch);
    return std::fabs(perInch - whole) <= 0.5 * kMetresPerInch + 1e-9 ? whole : perInch;
}

std::uint32_t PerMetre(double value, ResolutionUnit unit) {
    const double perMetre = unit == ResolutionUnit::Inch ? value / kMetresPerInch
                          : unit == ResolutionUnit::Centimetre ? value * 100.0 : value;
    return static_cast<std::uint32_t>(std::clamp(std::round(perMetre), 1.0, 2147483647.0));
}

// The chunk types an encoder's own metadata may use, replaced by ours when splicing.
bool IsPngMetadataChunk(const std::string& type) {
    static const char* const kTypes[] = {"iCCP", "sRGB", "gAMA", "cHRM", "pHYs", "eXIf", "iTXt", "tEXt", "zTXt", "tIME"};
    return std::any_of(std::begin(kTypes), std::end(kTypes), [&](const char* t) { return type == t; });
}

void AppendPngChunk(Bytes& out, const std::string& type, std::span<const std::uint8_t> data) {
    Append32(out, static_cast<std::uint32_t>(data.size()), kBigEndian);
    const std::size_t typeAt = out.size();
    Append(out, type.data(), 4);
    out.insert(out.end(), data.begin(), data.end());
    Append32(out, PngCrc(0, out.data() + typeAt, out.size() - typeAt), kBigEndian);
}

// The first directory of an EXIF block as `plan` keeps it.
tiff::Directory ExifDirectory(std::span<const std::uint8_t> exif, const tiff::ReadPlan& plan, bool& ok) {
    MemoryByteSource source(exif);
    tiff::Header header;
    tiff::Directory directory;
    std::string why;
    ok = tiff::ReadHeader(source, header) &&
         tiff::ReadDirectory(source, header.bigEndian, header.firstDirectory, plan, directory, why);
    return directory;
}

Resolution TiffResolution(const tiff::Directory& directory) {
    const tiff::Entry* x = directory.Find(tiff::kXResolution);
    const tiff::Entry* y = directory.Find(tiff::kYResolution);
    if (x == nullptr || y == nullptr) return {};
    const tiff::Entry* unitEntry = directory.Find(tiff::kResolutionUnit);
    const std::uint32_t unit = unitEntry != nullptr ? unitEntry->Number() : 2;  // inches unless said otherwise
    Resolution resolution{x->Rational(), y->Rational(),
                          unit == 3 ? ResolutionUnit::Centimetre : unit == 2 ? ResolutionUnit::Inch : ResolutionUnit::None};
    return resolution.Known() ? resolution : Resolution{};
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

}  // namespace

std::string DescribeMetadata(const ImageMetadata& metadata) {
    std::string text;
    const auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (!metadata.icc.empty()) add("ICC profile " + std::to_string(metadata.icc.size()) + " bytes");
    if (!metadata.exif.empty()) add("EXIF " + std::to_string(metadata.exif.size()) + " bytes");
    if (!metadata.xmp.empty()) add("XMP " + std::to_string(metadata.xmp.size()) + " bytes");
    if (metadata.resolution.Known()) {
        const Resolution& r = metadata.resolution;
        add("resolution " + Number(r.x) + "x" + Number(r.y) +
            (r.unit == ResolutionUnit::Inch ? " per inch" : r.unit == ResolutionUnit::Centimetre ? " per cm" : " (aspect only)"));
    }
    return text.empty() ? "none" : text;
}

void ReadPngMetadataChunk(const std::string& type, std::span<const std::uint8_t> data, ImageMetadata& metadata) {
    const auto text = [&](std::size_t from) {  // the end of a zero-terminated field starting at `from`
        const auto end = std::find(data.begin() + static_cast<std::ptrdiff_t>(std::min(from, data.size())), data.end(), 0);
        return static_cast<std::size_t>(end - data.begin());
    };
    if (type == "iCCP") {
        const std::size_t nameEnd = text(0);
        if (nameEnd + 2 <= data.size() && data[nameEnd + 1] == 0) metadata.icc = Inflate(data.subspan(nameEnd + 2));
    } else if (type == "eXIf") {
        if (IsExifBlock(data)) metadata.exif.assign(data.begin(), data.end());
    } else if (type == "iTXt") {
        const std::size_t keywordEnd = text(0);
        if (keywordEnd != sizeof kXmpKeyword - 1 || !StartsWith(data, kXmpKeyword, keywordEnd) || keywordEnd + 3 > data.size())
            return;
        const bool compressed = data[keywordEnd + 1] != 0;
        const std::size_t languageEnd = text(keywordEnd + 3);
        const std::size_t translatedEnd = text(languageEnd + 1);
        if (translatedEnd >= data.size()) return;
        const std::span<const std::uint8_t> packet = data.subspan(translatedEnd + 1);
        metadata.xmp = compressed ? Inflate(packet) : Bytes(packet.begin(), packet.end());
    } else if (type == "pHYs" && data.size() == 9) {
        const std::uint32_t x = BigEndian32(data.data()), y = BigEndian32(data.data() + 4);
        if (x == 0 || y == 0) return;
        if (data[8] == 1)
            metadata.resolution = {InchesFromMetres(x), InchesFromMetres(y), ResolutionUnit::Inch};
        else
            metadata.resolution = {static_cast<double>(x), static_cast<double>(y), ResolutionUnit::None};
    }
}

std::vector<MetadataPiece> PngMetadataChunks(const ImageMetadata& metadata) {
    std::vector<MetadataPiece> chunks;
    if (!metadata.icc.empty()) {
        Bytes data;
        Append(data, "ICC profile", 12);  // the name with its zero, then compression method 0
        data.push_back(0);
        const Bytes compressed = Deflate(metadata.icc);
        data.insert(data.end(), compressed.begin(), compressed.end());
        chunks.push_back({"iCCP", 0, std::move(data)});
    }
    if (metadata.resolution.Known()) {
        const Resolution& r = metadata.resolution;
        Bytes data;
        Append32(data, PerMetre(r.x, r.unit), kBigEndian);
        Append32(data, PerMetre(r.y, r.unit), kBigEndian);
        data.push_back(r.unit == ResolutionUnit::None ? 0 : 1);
        chunks.push_back({"pHYs", 0, std::move(data)});
    }
    if (!metadata.exif.empty()) chunks.push_back({"eXIf", 0, metadata.exif});
    if (!metadata.xmp.empty()) {
        Bytes data;
        Append(data, kXmpKeyword, sizeof kXmpKeyword);      // keyword and its zero
        data.insert(data.end(), {0, 0, 0, 0});              // uncompressed, method, no language, no translation
        data.insert(data.end(), metadata.xmp.begin(), metadata.xmp.end());
        chunks.push_back({"iTXt", 0, std::move(data)});
    }
    return chunks;
}

void JpegMetadataReader::Segment(std::uint8_t marker, std::span<const std::uint8_t> data) {
    if (marker == 0xe0 && StartsWith(data, "JFIF", 5) && data.size() >= 12) {
        const std::uint32_t x = BigEndian16(data.data() + 8), y = BigEndian16(data.data() + 10);
        const std::uint8_t unit = data[7];
        // Units 0 with 1:1 is the JFIF default, which says nothing.
        if (x != 0 && y != 0 && unit <= 2 && !(unit == 0 && x == y))
            jfif_ = {static_cast<double>(x), static_cast<double>(y),
                     unit == 1 ? ResolutionUnit::Inch : unit == 2 ? ResolutionUnit::Centimetre : ResolutionUnit::None};
    } else if (marker == 0xe1 && StartsWith(data, "Exif\0", 6) && metadata_.exif.empty()) {
        if (IsExifBlock(data.subspan(6))) metadata_.exif.assign(data.begin() + 6, data.end());
    } else if (marker == 0xe1 && StartsWith(data, kJpegXmpName, sizeof kJpegXmpName) && metadata_.xmp.empty()) {
        metadata_.xmp.assign(data.begin() + sizeof kJpegXmpName, data.end());
    } else if (marker == 0xe2 && StartsWith(data, kJpegIccName, sizeof kJpegIccName) &&
               data.size() >= sizeof kJpegIccName + 2) {
        const std::size_t sequence = data[sizeof kJpegIccName], count = data[sizeof kJpegIccName + 1];
        if (count == 0 || sequence == 0 || sequence > count || (!iccPieces_.empty() && iccPieces_.size() != count)) {
            iccBroken_ = true;
            return;
        }
        iccPieces_.resize(count);
        if (!iccPieces_[sequence - 1].empty()) iccBroken_ = true;
        iccPieces_[sequence - 1].assign(data.begin() + static_cast<std::ptrdiff_t>(sizeof kJpegIccName + 2), data.end());
    }
}

ImageMetadata JpegMetadataReader::Finish() {
    const bool whole = !iccBroken_ && std::none_of(iccPieces_.begin(), iccPieces_.end(), [](const Bytes& p) { return p.empty(); });
    if (whole)
        for (const Bytes& piece : iccPieces_) metadata_.icc.insert(metadata_.icc.end(), piece.begin(), piece.end());
    metadata_.resolution = jfif_.Known() ? jfif_ : ExifResolution(metadata_.exif);
    return std::move(metadata_);
}

std::vector<MetadataPiece> JpegMetadataSegments(const ImageMetadata& metadata, std::vector<std::string>& dropped) {
    std::vector<MetadataPiece> segments;
    Bytes jfif;
    Append(jfif, "JFIF", 5);
    jfif.insert(jfif.end(), {1, 1});
    const Resolution& r = metadata.resolution;
    const double x = std::round(r.x), y = std::round(r.y);
    if (r.Known() && x >= 1 && y >= 1 && x <= 65535 && y <= 65535) {
        jfif.push_back(r.unit == ResolutionUnit::Inch ? 1 : r.unit == ResolutionUnit::Centimetre ? 2 : 0);
        Append16(jfif, static_cast<std::uint32_t>(x), kBigEndian);
        Append16(jfif, static_cast<std::uint32_t>(y), kBigEndian);
    } else {
        if (r.Known()) dropped.push_back("the resolution (out of JPEG's range)");
        jfif.push_back(0);
        Append16(jfif, 1, kBigEndian);
        Append16(jfif, 1, kBigEndian);
    }
    jfif.insert(jfif.end(), {0, 0});  // no thumbnail
    segments.push_back({"", 0xe0, std::move(jfif)});
    if (!metadata.exif.empty()) {
        if (metadata.exif.size() + 6 > kJpegSegmentData) {
            dropped.push_back("EXIF (more than a JPEG segment holds)");
        } else {
            Bytes data;
            Append(data, "Exif\0", 6);
            data.insert(data.end(), metadata.exif.begin(), metadata.exif.end());
            segments.push_back({"", 0xe1, std::move(data)});
        }
    }
    if (!metadata.xmp.empty()) {
        if (metadata.xmp.size() + sizeof kJpegXmpName > kJpegSegmentData) {
            dropped.push_back("XMP (more than a JPEG segment holds)");
        } else {
            Bytes data;
            Append(data, kJpegXmpName, sizeof kJpegXmpName);
            data.insert(data.end(), metadata.xmp.begin(), metadata.xmp.end());
            segments.push_back({"", 0xe1, std::move(data)});
        }
    }
    if (!metadata.icc.empty()) {
        const std::size_t count = (metadata.icc.size() + kIccPieceData - 1) / kIccPieceData;
        if (count > 255) {
            dropped.push_back("the ICC profile (more than 255 JPEG segments)");
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                Bytes data;
                Append(data, kJpegIccName, sizeof kJpegIccName);
                data.push_back(static_cast<std::uint8_t>(i + 1));
                data.push_back(static_cast<std::uint8_t>(count));
                const auto from = metadata.icc.begin() + static_cast<std::ptrdiff_t>(i * kIccPieceData);
                const auto to = metadata.icc.begin() + static_cast<std::ptrdiff_t>(std::min(metadata.icc.size(), (i + 1) * kIccPieceData));
                data.insert(data.end(), from, to);
                segments.push_back({"", 0xe2, std::move(data)});
            }
        }
    }
    return segments;
}

Resolution ExifResolution(std::span<const std::uint8_t> exif) {
    if (exif.empty()) return {};
    bool ok = false;
    const tiff::Directory directory = ExifDirectory(exif, {IsResolutionTag, false}, ok);
    return ok ? TiffResolution(directory) : Resolution{};
}

bool IsTiffMetadataTag(std::uint16_t tag) { return IsExifBlockTag(tag) || tag == tiff::kIccProfile || tag == tiff::kXmp; }

ImageMetadata TiffMetadata(tiff::Directory first) {
    ImageMetadata metadata;
    metadata.resolution = TiffResolution(first);
    // The EXIF block: the descriptive tags, the resolution and the EXIF and GPS directories, when the file
    // has any of them besides the resolution. Values move rather than being copied: a file's metadata is
    // held once.
    tiff::Directory exif;
    for (tiff::Entry& entry : first.entries) {
        if (entry.tag == tiff::kIccProfile) metadata.icc = std::move(entry.value);
        if (entry.tag == tiff::kXmp) metadata.xmp = std::move(entry.value);
        if (IsExifTag(entry)) exif.Put(std::move(entry));
    }
    if (exif.entries.empty()) return metadata;
    for (std::uint16_t tag : {tiff::kXResolution, tiff::kYResolution, tiff::kResolutionUnit})
        if (const tiff::Entry* entry = first.Find(tag)) exif.Put(*entry);
    metadata.exif = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const Bytes directory = tiff::WriteDirectory(exif, 8, false);
    metadata.exif.insert(metadata.exif.end(), directory.begin(), directory.end());
    return metadata;
}

ToolStatus AddTiffMetadata(std::FILE* file, const ImageMetadata& metadata, const std::string& name) {
    FileByteSource source(file);
    tiff::Header header;
    tiff::Directory first;
    std::string why;
    if (!tiff::ReadHeader(source, header) ||
        !tiff::ReadDirectory(source, header.bigEndian, header.firstDirectory, {}, first, why))
        return ToolStatus::Failure("cannot write " + name + ": the encoder's TIFF cannot be read back (" + why + ")");
    for (std::uint16_t tag : kExifDescriptiveTags) first.Remove(tag);
    for (std::uint16_t tag : {tiff::kExifIfd, tiff::kGpsIfd, tiff::kIccProfile, tiff::kXmp, tiff::kXResolution,
                              tiff::kYResolution, tiff::kResolutionUnit})
        first.Remove(tag);
    if (!metadata.exif.empty()) {
        bool ok = false;
        tiff::Directory exif = ExifDirectory(metadata.exif, {IsExifBlockTag, true}, ok);
        for (tiff::Entry& entry : exif.entries)
            if (ok && IsExifTag(entry)) first.Put(std::move(entry));
    }
    if (!metadata.icc.empty()) first.Put(tiff::BytesEntry(tiff::kIccProfile, tiff::kUndefined, metadata.icc));
    if (!metadata.xmp.empty()) first.Put(tiff::BytesEntry(tiff::kXmp, tiff::kByte, metadata.xmp));
    if (metadata.resolution.Known()) {
        const Resolution& r = metadata.resolution;
        first.Put(tiff::RationalEntry(tiff::kXResolution, r.x));
        first.Put(tiff::RationalEntry(tiff::kYResolution, r.y));
        first.Put(tiff::ShortEntry(tiff::kResolutionUnit, r.unit == ResolutionUnit::Inch ? 2 : r.unit == ResolutionUnit::Centimetre ? 3 : 1));
    }
    std::uint64_t end = source.Size();
    if (end % 2 != 0) ++end;  // a directory starts on a word boundary
    if (end > 0xfffff000u) return ToolStatus::Failure("cannot write " + name + ": the file is too large for TIFF");
    Bytes bytes = tiff::WriteDirectory(first, static_cast<std::uint32_t>(end), header.bigEndian);
    if (end != source.Size()) bytes.insert(bytes.begin(), 0);
    Bytes pointer;
    Append32(pointer, static_cast<std::uint32_t>(end), header.bigEndian);
    const bool written = SeekFile(file, 0, SEEK_END) && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                         SeekFile(file, 4, SEEK_SET) && std::fwrite(pointer.data(), 1, 4, file) == 4 &&
                         SeekFile(file, 0, SEEK_END);
    if (!written) return ToolStatus::Failure("cannot write " + name + ": " + std::strerror(errno));
    return ToolStatus::Success();
}

bool SplicePngChunks(std::vector<std::uint8_t>& png, const std::vector<MetadataPiece>& chunks) {
    if (png.size() < 33 || std::memcmp(png.data(), kPngSignature, 8) != 0 || std::memcmp(png.data() + 12, "IHDR", 4) != 0)
        return false;
    Bytes out(png.begin(), png.begin() + 33);  // the signature and the header chunk
    for (const MetadataPiece& chunk : chunks) AppendPngChunk(out, chunk.type, chunk.data);
    for (std::size_t at = 33; at + 12 <= png.size();) {
        const std::size_t length = BigEndian32(png.data() + at);
        if (length > png.size() - at - 12) return false;
        const std::string type(reinterpret_cast<const char*>(png.data() + at + 4), 4);
        if (!IsPngMetadataChunk(type))
            out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(at), png.begin() + static_cast<std::ptrdiff_t>(at + length + 12));
        at += length + 12;
        if (type == "IEND") break;
    }
    png = std::move(out);
    return true;
}

bool SpliceJpegSegments(std::vector<std::uint8_t>& jpeg, const std::vector<MetadataPiece>& segments) {
    if (jpeg.size() < 4 || jpeg[0] != 0xff || jpeg[1] != 0xd8) return false;
    Bytes out = {0xff, 0xd8};
    for (const MetadataPiece& segment : segments) {
        out.insert(out.end(), {0xff, segment.marker});
        Append16(out, static_cast<std::uint32_t>(segment.data.size() + 2), kBigEndian);
        out.insert(out.end(), segment.data.begin(), segment.data.end());
    }
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xff && jpeg[at + 1] != 0xda) {
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = BigEndian16(jpeg.data() + at + 2);
        if (length < 2 || at + 2 + length > jpeg.size()) return false;
        const bool metadata = (marker >= 0xe0 && marker <= 0xef) || marker == 0xfe;
        if (!metadata)
            out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    jpeg = std::move(out);
    return true;
}

}  // namespace aperlume::tool
