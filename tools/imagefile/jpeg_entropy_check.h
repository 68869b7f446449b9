// The entropy-coded data of a JPEG file, walked as a decoder reads it but without dequantisation or the
// inverse transform: every Huffman code of every block of every scan, sequential and progressive (first
// scans and refinements), the number of blocks, the restart markers, and the order of the progressive
// scans. The structure walk (format_structure.h) hands each scan to it, so a file whose compressed
// data is damaged is refused with the same words in every build, whatever the platform's decoder would
// have made of it (libjpeg only warns and goes on; the Windows Imaging Component says nothing).
//
// Memory: the Huffman tables (about 140 KB), and for a progressive file whose AC coefficients come in
// successive approximation one bit per coefficient (8 bytes per 8x8 block) of each such component,
// which its refinement scans need; libjpeg keeps 128 bytes per block of the same file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// The most scans the tool takes in one JPEG file. Encoders write 1 to 3 sequential scans, or about ten
// progressive ones (libjpeg's script has 10 in colour and 6 in gray; optimisers that try other scripts
// stay under 30). Every scan is a pass over all blocks of its components, whatever its size: a file of
// a few kilobytes holding thousands of scans made decoders work for seconds to minutes.
inline constexpr int kMaxJpegScans = 100;

// The refusal of a file over that limit, in every build and from the check and the decoder alike.
inline ToolStatus TooManyJpegScans(const std::string& path) {
    return ToolStatus::Failure(path + " has more than " + std::to_string(kMaxJpegScans) +
                               " scans; the tool reads JPEG files of at most " + std::to_string(kMaxJpegScans) +
                               " (photographs have about 10)");
}

// The file's bytes as the structure walk reads them: a window of bytes not yet read, which the owner
// refills with the next piece of the file (or, holding the file whole, never).
class JpegBytes {
public:
    // The next byte, or -1 at the end of the file.
    int Next() { return at_ != end_ || Refill() ? *at_++ : -1; }
    // The bytes fetched and not yet read (at times none), for reading several at once; Pass(n) reads
    // `n` of them.
    std::span<const std::uint8_t> Fetched() const { return {at_, end_}; }
    void Pass(std::size_t n) { at_ += n; }

protected:
    ~JpegBytes() = default;
    // Points the window at the next piece of the file; false at its end.
    virtual bool Refill() = 0;

    const std::uint8_t* at_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

struct JpegComponent {
    std::uint8_t id = 0;
    std::uint8_t h = 1, v = 1;  // sampling factors, 1..4
};

// A frame header as the structure walk read it.
struct JpegFrame {
    std::uint32_t width = 0, height = 0;  // 1..65535
    bool progressive = false;
    std::uint32_t count = 0;  // components, 1..4
    std::array<JpegComponent, 4> components{};
};

// A scan header as the structure walk read it, with the restart interval in force.
struct JpegScan {
    std::uint32_t count = 0;                  // components in the scan, 1..4
    std::array<std::uint8_t, 4> component{};  // their indices in the frame, each once
    std::array<std::uint8_t, 4> dcTable{}, acTable{};  // 0..3
    std::uint8_t ss = 0, se = 63, ah = 0, al = 0;     // spectral selection and successive approximation
    std::uint32_t restartInterval = 0;        // MCUs between restart markers; 0: none
};

// How the walk of one scan ended.
struct JpegScanWalk {
    enum class End { Marker, Damaged, EndOfFile, OutOfMemory };
    End end = End::Marker;
    const char* damage = nullptr;  // Damaged: what is wrong, to follow "scan N " ("is cut short", ...)
    int marker = 0;                // Marker: the marker after the data (read), never a restart marker
    std::uint64_t bytes = 0;       // entropy-coded bytes read
};

// One file's Huffman tables and progression, scan after scan.
class JpegEntropyCheck {
public:
    JpegEntropyCheck();
    ~JpegEntropyCheck();
    JpegEntropyCheck(const JpegEntropyCheck&) = delete;
    JpegEntropyCheck& operator=(const JpegEntropyCheck&) = delete;

    // The content of a DHT segment; false when a table in it is invalid.
    [[nodiscard]] bool DefineHuffmanTables(std::span<const std::uint8_t> segment);

    // Walks the data of `scan` (of `frame`, the same for every scan of the file) from `bytes`, which
    // stands at its first byte, up to the marker after it.
    [[nodiscard]] JpegScanWalk WalkScan(const JpegFrame& frame, const JpegScan& scan, JpegBytes& bytes);

    // At the end of the image: whether its scans sent every component whole (in a progressive file,
    // every coefficient to its last bit; libjpeg's encoder refuses to write less).
    [[nodiscard]] bool ImageComplete(const JpegFrame& frame) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace aperlume::tool
