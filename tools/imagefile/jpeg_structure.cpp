// The JPEG marker walk of the image file check. Segments are read whole (a segment holds at most 64 KB);
// the entropy-coded data after a scan header is read in pieces by the entropy check.
#include <array>
#include <vector>

#include "tools/imagefile/byte_order.h"
#include "tools/imagefile/format_structure.h"
#include "tools/imagefile/jpeg_entropy_check.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {
namespace {

constexpr std::uint8_t kSoi = 0xd8, kEoi = 0xd9, kSos = 0xda, kDnl = 0xdc, kDht = 0xc4, kDri = 0xdd;

// The frame headers the decoders of every build read: baseline, extended and progressive Huffman.
bool IsDecodedFrame(std::uint8_t marker) { return marker == 0xc0 || marker == 0xc1 || marker == 0xc2; }
// Other frame headers: lossless, hierarchical or arithmetic coding.
bool IsOtherFrame(std::uint8_t marker) {
    return marker >= 0xc3 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}
bool IsRestart(std::uint8_t marker) { return marker >= 0xd0 && marker <= 0xd7; }

// Reads the file through a buffer.
class ByteReader final : public JpegBytes {
public:
    explicit ByteReader(std::FILE* file) : file_(file) {}
    bool Read(std::uint8_t* out, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const int byte = Next();
            if (byte < 0) return false;
            out[i] = static_cast<std::uint8_t>(byte);
        }
        return true;
    }

private:
    bool Refill() override {
        const std::size_t size = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        at_ = buffer_.data();
        end_ = at_ + size;
        return size != 0;
    }

    std::FILE* file_;
    std::array<std::uint8_t, 16384> buffer_{};
};

struct Frame : JpegFrame {
    bool seen = false;
};

ToolStatus ReadFrame(const std::string& path, std::uint8_t marker, const std::vector<std::uint8_t>& data,
                     const ImageLimits& limits, Frame& frame) {
    if (frame.seen) return Damaged(path, "it has two frame headers");
    if (data.size() < 6) return Damaged(path, "its frame header is invalid");
    const std::uint32_t precision = data[0];
    frame.height = BigEndian16(&data[1]);
    frame.width = BigEndian16(&data[3]);
    frame.count = data[5];
    if (data.size() != 6 + 3 * std::size_t{frame.count}) return Damaged(path, "its frame header is invalid");
    if (precision != 8)
        return Unsupported(path, "has " + std::to_string(precision) + "-bit JPEG samples; the tool reads 8-bit JPEG files");
    if (frame.count == 4)
        return Unsupported(path, "is a CMYK JPEG; the tool reads gray and RGB images");
    if (frame.count != 1 && frame.count != 3)
        return Unsupported(path, "has " + std::to_string(frame.count) + " JPEG components; the tool reads gray and colour JPEG files");
    if (frame.height == 0)
        return Unsupported(path, "gives its height after the image data, which the tool cannot read");
    if (frame.width == 0) return Damaged(path, "its frame header is invalid");
    for (std::uint32_t c = 0; c < frame.count; ++c) {
        const std::uint8_t id = data[6 + 3 * c], sampling = data[6 + 3 * c + 1], table = data[6 + 3 * c + 2];
        if ((sampling >> 4) < 1 || (sampling >> 4) > 4 || (sampling & 15) < 1 || (sampling & 15) > 4 || table > 3)
            return Damaged(path, "its frame header is invalid");
        for (std::uint32_t before = 0; before < c; ++before)  // a scan names its components by these
            if (frame.components[before].id == id) return Damaged(path, "its frame header is invalid");
        frame.components[c] = {id, static_cast<std::uint8_t>(sampling >> 4), static_cast<std::uint8_t>(sampling & 15)};
    }
    frame.seen = true;
    frame.progressive = marker == 0xc2;
    return CheckImageSize(frame.width, frame.height, limits, path);
}

// A scan header: its components (each of the frame, once), their tables and the scan's parameters,
// whose use the entropy check judges.
bool ReadScanHeader(const std::vector<std::uint8_t>& data, const JpegFrame& frame, JpegScan& scan) {
    if (data.empty() || data[0] < 1 || data[0] > frame.count || data.size() != 4 + 2 * std::size_t{data[0]}) return false;
    scan.count = data[0];
    for (std::uint32_t i = 0; i < scan.count; ++i) {
        const std::uint8_t id = data[1 + 2 * i], tables = data[2 + 2 * i];
        std::uint32_t c = 0;
        while (c < frame.count && frame.components[c].id != id) ++c;
        if (c == frame.count || (tables >> 4) > 3 || (tables & 15) > 3) return false;
        for (std::uint32_t before = 0; before < i; ++before)
            if (scan.component[before] == c) return false;
        scan.component[i] = static_cast<std::uint8_t>(c);
        scan.dcTable[i] = static_cast<std::uint8_t>(tables >> 4);
        scan.acTable[i] = static_cast<std::uint8_t>(tables & 15);
    }
    const std::size_t at = 1 + 2 * std::size_t{scan.count};
    scan.ss = data[at];
    scan.se = data[at + 1];
    scan.ah = static_cast<std::uint8_t>(data[at + 2] >> 4);
    scan.al = static_cast<std::uint8_t>(data[at + 2] & 15);
    return true;
}

}  // namespace

ToolStatus CheckJpegStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                              CheckedImageFile& checked) {
    ByteReader reader(file);
    Frame frame;
    JpegEntropyCheck entropy;
    JpegMetadataReader metadata;
    std::uint32_t restartInterval = 0;
    std::uint64_t entropyBytes = 0;
    int scans = 0;
    int pending = -1;  // the marker that ended a scan's entropy-coded data
    for (;;) {
        int marker = pending;
        pending = -1;
        if (marker < 0) {
            int byte = reader.Next();
            if (byte < 0) return Damaged(path, "it is cut short");
            if (byte != 0xff) return Damaged(path, "a marker is missing where one must be");
            while ((byte = reader.Next()) == 0xff) {}  // fill bytes
            if (byte < 0) return Damaged(path, "it is cut short");
            marker = byte;
        }
        const auto code = static_cast<std::uint8_t>(marker);
        if (code == kEoi) {
            if (scans == 0) return Damaged(path, "it has no image data");
            break;
        }
        if (code == kSoi || code == 0 || IsRestart(code) || code == 0x01)
            return Damaged(path, "a marker stands out of place");
        std::uint8_t lengthBytes[2];
        if (!reader.Read(lengthBytes, 2)) return Damaged(path, "it is cut short");
        const std::size_t length = BigEndian16(lengthBytes);
        if (length < 2) return Damaged(path, "a segment length is invalid");
        std::vector<std::uint8_t> data(length - 2);
        if (!reader.Read(data.data(), data.size())) return Damaged(path, "it is cut short");

        if (IsDecodedFrame(code)) {
            if (ToolStatus s = ReadFrame(path, code, data, limits, frame); !s.ok()) return s;
        } else if (IsOtherFrame(code)) {
            return Unsupported(path, "uses a JPEG coding the tool cannot read (lossless, hierarchical or arithmetic)");
        } else if (code >= 0xe0 && code <= 0xef) {
            metadata.Segment(code, data);
        } else if (code == kDht) {
            if (!entropy.DefineHuffmanTables(data)) return Damaged(path, "a Huffman table is invalid");
        } else if (code == kDri) {
            if (data.size() != 2) return Damaged(path, "its restart interval is invalid");
            restartInterval = BigEndian16(data.data());
        } else if (code == kDnl) {
            return Damaged(path, "a marker stands out of place");
        } else if (code == kSos) {
            if (!frame.seen) return Damaged(path, "its image data comes before its frame header");
            // Every scan is a pass over the image's blocks: a limit on their number bounds the work
            // a small file can ask of the decoder.
            if (++scans > kMaxJpegScans) return TooManyJpegScans(path);
            JpegScan scan;
            if (!ReadScanHeader(data, frame, scan)) return Damaged(path, "a scan header is invalid");
            scan.restartInterval = restartInterval;
            const JpegScanWalk walk = entropy.WalkScan(frame, scan, reader);
            switch (walk.end) {
                case JpegScanWalk::End::Marker: break;
                case JpegScanWalk::End::Damaged: return Damaged(path, "scan " + std::to_string(scans) + " " + walk.damage);
                case JpegScanWalk::End::EndOfFile: return Damaged(path, "it is cut short");
                case JpegScanWalk::End::OutOfMemory: return ToolStatus::Failure("out of memory reading " + path);
            }
            entropyBytes += walk.bytes;
            pending = walk.marker;
        }
    }
    if (!frame.seen) return Damaged(path, "it has no frame header");
    if (!entropy.ImageComplete(frame)) return Damaged(path, "its scans end before the image is complete");
    checked.format = ImageFormat::Jpeg;
    checked.width = frame.width;
    checked.height = frame.height;
    checked.bitDepth = 8;
    checked.channels = static_cast<std::int32_t>(frame.count);
    checked.interlaced = frame.progressive;
    checked.dataBytes = entropyBytes;
    checked.metadata = metadata.Finish();
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
