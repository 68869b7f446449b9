// The Huffman coding of JPEG files as the entropy check reads it (jpeg_entropy_check.h): the code
// tables of DHT segments, and the bits of the entropy-coded data, read with look-ups.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "tools/imagefile/jpeg_entropy_check.h"

namespace aperlume::tool::jpeg {

// The largest magnitude categories of 8-bit samples: DC differences up to 11 bits, AC values up to 10.
constexpr int kMaxDcCategory = 11;
constexpr int kMaxAcCategory = 10;

constexpr int kLookupBits = 9;  // codes this long or shorter are found by one look-up
constexpr int kRunBits = 12;    // the window of SymbolRun

// The whole AC symbols of a sequential scan (codes and the bits after them) that a window of the data
// begins with, up to an end of block: one look-up takes them all. Decoding is a chain of dependent
// look-ups, and walking several symbols a step makes the walk about twice as fast. Packed in 32 bits,
// for the table (4096 of them) to stay in the fastest cache.
class SymbolRun {
public:
    SymbolRun() = default;
    SymbolRun(int bits, int advance, int count, bool endOfBlock, int firstLength, int firstSymbol)
        : packed_(static_cast<std::uint32_t>(bits | count << 4 | advance << 8 | (endOfBlock ? 1 << 16 : 0) |
                                             firstLength << 17 | firstSymbol << 24)) {}
    int bits() const { return packed_ & 15; }              // of the whole symbols
    int count() const { return packed_ >> 4 & 15; }        // 0: none may be taken
    int advance() const { return packed_ >> 8 & 255; }     // coefficients they pass over
    bool endOfBlock() const { return (packed_ >> 16 & 1) != 0; }  // the last is an end of block
    int firstLength() const { return packed_ >> 17 & 15; }  // the first code's length; 0: longer than the window
    int firstSymbol() const { return static_cast<int>(packed_ >> 24); }

private:
    std::uint32_t packed_ = 0;
};

struct HuffmanTable {
    bool defined = false;
    std::array<std::uint16_t, 1 << kLookupBits> lookup{};  // by the next bits: code length << 8 | symbol; 0: longer
    std::array<std::int32_t, 17> maxCode{};  // per length the largest code, -1 when there is none
    std::array<std::int32_t, 17> offset{};   // per length the index of a code's symbol minus the code
    std::array<std::uint8_t, 256> symbols{};
    // For an AC table of sequential scans, by the next bits: made for a scan of many blocks only, as
    // making it costs about as much as walking 4000 blocks.
    std::unique_ptr<std::array<SymbolRun, 1 << kRunBits>> runs;
};

// Makes `table` from a DHT segment's counts of codes of each length (16) and their symbols; false when
// they are no valid table (T.81 Annex C, and libjpeg's limits: no overflowing code, no all-ones code,
// no DC symbol over 15).
[[nodiscard]] bool BuildHuffmanTable(const std::uint8_t* counts, std::span<const std::uint8_t> symbols, bool dc,
                                     HuffmanTable& table);
// Fills `runs`, set aside for an AC table of sequential scans.
void MakeSymbolRuns(const HuffmanTable& table, std::array<SymbolRun, 1 << kRunBits>& runs);

// The bits of the entropy-coded data: stuffed 0xff 0x00 pairs read as 0xff, and the data stops at a
// marker or at the end of the file. Bits past the data read as zeros (a look-up may see them), but
// taking them fails.
class BitReader {
public:
    enum class Stop { None, Marker, EndOfFile };
    static constexpr int kShort = -1, kBad = -2;  // Symbol's failures

    explicit BitReader(JpegBytes& bytes) : bytes_(bytes) {}

    // The next symbol of `table`, its code taken; kShort when the data ends inside it, kBad for no
    // code of the table. Afterwards at least 16 bits are at hand, unless the data ends first.
    int Symbol(const HuffmanTable& table) {
        if (count_ < 32) Fill();
        const std::uint16_t entry = table.lookup[Peek(kLookupBits)];
        const int length = entry >> 8;
        if (entry == 0 || length > count_) return LongSymbol(table);
        buffer_ <<= length;
        count_ -= length;
        return entry & 0xff;
    }
    // The run of symbols of `table` the data goes on with (SymbolRun); whether the data holds its
    // symbols and its first code is `count()` away.
    SymbolRun Run(const std::array<SymbolRun, 1 << kRunBits>& runs) {
        if (count_ < 32) Fill();
        return runs[Peek(kRunBits)];
    }
    int count() const { return count_; }
    void Drop(int n) {
        buffer_ <<= n;
        count_ -= n;
    }
    // Takes `n` bits (0..16); false when the data has fewer.
    bool Take(int n) {
        if (count_ < n) {
            Fill();
            if (count_ < n) return false;
        }
        buffer_ <<= n;
        count_ -= n;
        return true;
    }
    // Takes `n` bits (0..64).
    bool TakeMany(int n) {
        if (n <= 16) return Take(n);
        for (; n > 16; n -= 16)
            if (!Take(16)) return false;
        return Take(n);
    }
    // Takes `n` bits (1..16) as a number.
    bool TakeValue(int n, std::uint32_t& value) {
        if (count_ < n) Fill();
        value = Peek(n);
        return Take(n);
    }
    // At the end of a restart interval or of the scan: whether the data ends here, the bits left in
    // the last byte being padding. Afterwards the reader stands at the marker or the end of the file.
    bool AtEndOfData() {
        if (count_ >= 8) return false;
        buffer_ = 0;
        count_ = 0;
        return NextDataByte() < 0;
    }
    // Reads on after the marker it stopped at.
    void PassMarker() { stop_ = Stop::None; }

    Stop stop() const { return stop_; }
    int marker() const { return marker_; }
    std::uint64_t bytesRead() const { return bytesRead_; }

private:
    std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(buffer_ >> (64 - n)); }

    // Codes longer than the look-up, and any code near the end of the data.
    int LongSymbol(const HuffmanTable& table);

    void Fill() {
        if (count_ > 56) return;
        // Most of the data has no 0xff byte: eight bytes at once where none of those is one.
        const std::span<const std::uint8_t> fetched = bytes_.Fetched();
        if (fetched.size() >= 8 && stop_ == Stop::None) {
            std::uint64_t word = 0;
            std::memcpy(&word, fetched.data(), sizeof word);
            if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
            const std::uint64_t inverse = ~word;  // an 0xff byte is a zero byte here
            if (((inverse - 0x0101010101010101u) & ~inverse & 0x8080808080808080u) == 0) {
                const int n = (64 - count_) / 8;
                buffer_ |= word >> (64 - 8 * n) << (64 - 8 * n - count_);
                count_ += 8 * n;
                bytesRead_ += static_cast<std::uint64_t>(n);
                bytes_.Pass(static_cast<std::size_t>(n));
                return;
            }
        }
        while (count_ <= 56) {
            const int byte = NextDataByte();
            if (byte < 0) return;
            buffer_ |= std::uint64_t{static_cast<std::uint8_t>(byte)} << (56 - count_);
            count_ += 8;
        }
    }
    int NextDataByte() {
        if (stop_ != Stop::None) return -1;
        int byte = bytes_.Next();
        if (byte == 0xff) {
            do byte = bytes_.Next();
            while (byte == 0xff);  // fill bytes before a marker
            if (byte == 0) {
                ++bytesRead_;
                return 0xff;
            }
            if (byte > 0) {
                stop_ = Stop::Marker;
                marker_ = byte;
                return -1;
            }
        }
        if (byte < 0) {
            stop_ = Stop::EndOfFile;
            return -1;
        }
        ++bytesRead_;
        return byte;
    }

    JpegBytes& bytes_;
    std::uint64_t buffer_ = 0;  // the next bits, from the top
    int count_ = 0;             // how many of them are data
    Stop stop_ = Stop::None;
    int marker_ = 0;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace aperlume::tool::jpeg
