// The JPEG marker walk of the image file check. Segments are read whole (a segment holds at most 64 KB);
// the entropy-coded data after a scan header is read in pieces and only counted.
#include <array>
#include <vector>

#include "tools/imagefile/byte_order.h"
#include "tools/imagefile/format_structure.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {
namespace {

constexpr std::uint8_t kSoi = 0xd8, kEoi = 0xd9, kSos = 0xda, kDnl = 0xdc;

// The frame headers the decoders of every build read: baseline, extended and progressive Huffman.
bool IsDecodedFrame(std::uint8_t marker) { return marker == 0xc0 || marker == 0xc1 || marker == 0xc2; }
// Other frame headers: lossless, hierarchical or arithmetic coding.
bool IsOtherFrame(std::uint8_t marker) {
    return marker >= 0xc3 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}
bool IsRestart(std::uint8_t marker) { return marker >= 0xd0 && marker <= 0xd7; }

// Reads the file byte by byte through a buffer.
class ByteReader {
public:
    explicit ByteReader(std::FILE* file) : file_(file) {}
    // The next byte, or -1 at the end of the file.
    int Next() {
        if (at_ == size_) {
            size_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
            at_ = 0;
            if (size_ == 0) return -1;
        }
        return buffer_[at_++];
    }
    bool Read(std::uint8_t* out, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const int byte = Next();
            if (byte < 0) return false;
            out[i] = static_cast<std::uint8_t>(byte);
        }
        return true;
    }

private:
    std::FILE* file_;
    std::array<std::uint8_t, 16384> buffer_{};
    std::size_t size_ = 0, at_ = 0;
};

struct Frame {
    bool seen = false;
    std::uint32_t width = 0, height = 0;
    std::uint32_t components = 0;
    std::uint64_t blocks = 0;  // 8x8 blocks of a full-resolution component
    bool progressive = false;
};

ToolStatus ReadFrame(const std::string& path, std::uint8_t marker, const std::vector<std::uint8_t>& data,
                     const ImageLimits& limits, Frame& frame) {
    if (frame.seen) return Damaged(path, "it has two frame headers");
    if (data.size() < 6) return Damaged(path, "its frame header is invalid");
    const std::uint32_t precision = data[0];
    frame.height = BigEndian16(&data[1]);
    frame.width = BigEndian16(&data[3]);
    frame.components = data[5];
    if (data.size() != 6 + 3 * std::size_t{frame.components}) return Damaged(path, "its frame header is invalid");
    if (precision != 8)
        return Unsupported(path, "has " + std::to_string(precision) + "-bit JPEG samples; the tool reads 8-bit JPEG files");
    if (frame.components == 4)
        return Unsupported(path, "is a CMYK JPEG; the tool reads gray and RGB images");
    if (frame.components != 1 && frame.components != 3)
        return Unsupported(path, "has " + std::to_string(frame.components) + " JPEG components; the tool reads gray and colour JPEG files");
    if (frame.height == 0)
        return Unsupported(path, "gives its height after the image data, which the tool cannot read");
    if (frame.width == 0) return Damaged(path, "its frame header is invalid");
    for (std::uint32_t c = 0; c < frame.components; ++c) {
        const std::uint8_t sampling = data[6 + 3 * c + 1], table = data[6 + 3 * c + 2];
        if ((sampling >> 4) < 1 || (sampling >> 4) > 4 || (sampling & 15) < 1 || (sampling & 15) > 4 || table > 3)
            return Damaged(path, "its frame header is invalid");
    }
    frame.seen = true;
    frame.progressive = marker == 0xc2;
    frame.blocks = std::uint64_t{(frame.width + 7) / 8} * ((frame.height + 7) / 8);
    return CheckImageSize(frame.width, frame.height, limits, path);
}

}  // namespace

ToolStatus CheckJpegStructure(std::FILE* file, const std::string& path, const ImageLimits& limits,
                              CheckedImageFile& checked) {
    ByteReader reader(file);
    Frame frame;
    JpegMetadataReader metadata;
    std::uint64_t entropyBytes = 0;
    int scans = 0;
    int pending = -1;  // a marker met at the end of entropy-coded data
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
        } else if (code == kDnl) {
            return Damaged(path, "a marker stands out of place");
        } else if (code == kSos) {
            if (!frame.seen) return Damaged(path, "its image data comes before its frame header");
            if (data.empty() || data[0] < 1 || data[0] > 4 || data.size() != 4 + 2 * std::size_t{data[0]})
                return Damaged(path, "a scan header is invalid");
            ++scans;
            // The entropy-coded data: anything up to a marker other than a restart (0xff 0x00 is a
            // stuffed 0xff byte).
            std::uint64_t scanBytes = 0;
            for (;;) {
                int byte = reader.Next();
                if (byte < 0) return Damaged(path, "it is cut short");
                if (byte != 0xff) {
                    ++scanBytes;
                    continue;
                }
                while ((byte = reader.Next()) == 0xff) {}
                if (byte < 0) return Damaged(path, "it is cut short");
                if (byte == 0) {
                    ++scanBytes;
                } else if (!IsRestart(static_cast<std::uint8_t>(byte))) {
                    pending = byte;
                    break;
                }
            }
            if (scanBytes == 0) return Damaged(path, "a scan has no data");
            entropyBytes += scanBytes;
        }
    }
    if (!frame.seen) return Damaged(path, "it has no frame header");
    // Every coding spends at least one bit on each block of the image, in its first scans.
    if (entropyBytes * 8 < frame.blocks)
        return Damaged(path, "its image data is too short for a " + SizeText(frame.width, frame.height) + " image");
    checked.format = ImageFormat::Jpeg;
    checked.width = frame.width;
    checked.height = frame.height;
    checked.bitDepth = 8;
    checked.channels = static_cast<std::int32_t>(frame.components);
    checked.interlaced = frame.progressive;
    checked.dataBytes = entropyBytes;
    checked.metadata = metadata.Finish();
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
