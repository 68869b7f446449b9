// The walk of a JPEG file's entropy-coded data: the Huffman codes a decoder reads, block by block, with
// the coefficients' values skipped rather than kept.
#include "tools/imagefile/jpeg_entropy_check.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace aperlume::tool {
namespace {

// What can be wrong with a scan, after "scan N ".
constexpr const char* kCutShort = "is cut short";
constexpr const char* kBadCode = "has a bad Huffman code";
constexpr const char* kTrailing = "goes on after its last block";
constexpr const char* kNoRestart = "lacks a restart marker where one is due";
constexpr const char* kRestartOrder = "has its restart markers out of order";
constexpr const char* kNoTable = "uses a Huffman table the file does not define";
constexpr const char* kBadHeader = "has an invalid header";
constexpr const char* kOutOfOrder = "breaks the order of progressive scans";
constexpr const char* kRepeated = "codes a component a second time";

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
    bool runsBuilt = false;  // made when a sequential scan first uses the table
    std::array<SymbolRun, 1 << kRunBits> runs{};
};

// The symbol whose code starts the `width` bits of `bits`, and its code's length; -1 when none does.
int FirstSymbol(const HuffmanTable& table, std::uint32_t bits, int width, int& length) {
    for (length = 1; length <= std::min(width, 16); ++length) {
        const auto code = static_cast<std::int32_t>(bits >> (width - length));
        if (code <= table.maxCode[length]) return table.symbols[static_cast<std::size_t>(code + table.offset[length])];
    }
    return -1;
}

void BuildRuns(HuffmanTable& table) {
    for (std::uint32_t window = 0; window < table.runs.size(); ++window) {
        int length = 0;
        const int first = FirstSymbol(table, window, kRunBits, length);
        const int firstLength = first >= 0 ? length : 0;
        int bits = 0, advance = 0, count = 0;
        bool endOfBlock = false;
        while (!endOfBlock) {
            const int width = kRunBits - bits;
            const int symbol = FirstSymbol(table, window & ((1u << width) - 1), width, length);
            const int size = symbol & 15;
            if (symbol < 0 || size > kMaxAcCategory || length + size > width) break;
            bits += length + size;
            ++count;
            if (size == 0 && symbol >> 4 != 15) endOfBlock = true;
            else advance += size == 0 ? 16 : (symbol >> 4) + 1;
        }
        table.runs[window] = SymbolRun(bits, advance, count, endOfBlock, firstLength, std::max(first, 0));
    }
    table.runsBuilt = true;
}

// Canonical codes from the counts of each length, as T.81 Annex C assigns them. libjpeg refuses a table
// whose codes overflow their length and one that uses the all-ones code; so does this.
bool BuildTable(const std::uint8_t* counts, std::span<const std::uint8_t> symbols, bool dc, HuffmanTable& table) {
    table.defined = false;
    table.runsBuilt = false;
    if (dc && std::any_of(symbols.begin(), symbols.end(), [](std::uint8_t s) { return s > 15; })) return false;
    table.lookup.fill(0);
    std::int32_t code = 0, index = 0;
    for (int length = 1; length <= 16; ++length) {
        const std::int32_t count = counts[length - 1];
        if (code + count >= (1 << length)) return false;
        table.offset[length] = index - code;
        table.maxCode[length] = count != 0 ? code + count - 1 : -1;
        for (std::int32_t i = 0; i < count && length <= kLookupBits; ++i) {
            const int shift = kLookupBits - length;
            const auto entry = static_cast<std::uint16_t>(length << 8 | symbols[static_cast<std::size_t>(index + i)]);
            std::fill_n(table.lookup.begin() + ((code + i) << shift), 1 << shift, entry);
        }
        code += count;
        index += count;
        code <<= 1;
    }
    std::copy(symbols.begin(), symbols.end(), table.symbols.begin());
    table.defined = true;
    return true;
}

bool IsRestart(int marker) { return marker >= 0xd0 && marker <= 0xd7; }

// The bits set in `bits`; std::popcount is a library call where the processor's instruction is not
// assumed.
int BitCount(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<int>((bits * 0x0101010101010101u) >> 56);
}

// The lowest `n` bits set (n = 0..64).
std::uint64_t LowBits(int n) { return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1; }

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
    SymbolRun Run(const HuffmanTable& table) {
        if (count_ < 32) Fill();
        return table.runs[Peek(kRunBits)];
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
    [[gnu::noinline]] int LongSymbol(const HuffmanTable& table) {
        int length = 0;
        const int symbol = FirstSymbol(table, Peek(16), 16, length);
        if (symbol < 0) return count_ < 16 ? kShort : kBad;
        return Take(length) ? symbol : kShort;
    }

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

const char* Failure(int symbol) { return symbol == BitReader::kShort ? kCutShort : kBadCode; }

// A block of a sequential scan: the DC difference, then AC run/size codes up to the end of block.
const char* SequentialBlock(BitReader& reader, const HuffmanTable& dc, const HuffmanTable& ac) {
    int symbol = reader.Symbol(dc);
    if (symbol < 0) return Failure(symbol);
    if (symbol > kMaxDcCategory) return kBadCode;
    if (!reader.Take(symbol)) return kCutShort;
    int k = 1;
    while (k < 64) {
        // Several symbols at once, unless the block may end among them (at its last coefficient).
        const SymbolRun next = reader.Run(ac);
        if (next.count() != 0 && next.bits() <= reader.count() && (next.count() == 1 || k + next.advance() < 64)) {
            reader.Drop(next.bits());
            k += next.advance();
            if (next.endOfBlock()) break;
            continue;
        }
        if (next.firstLength() != 0 && next.firstLength() <= reader.count()) {
            reader.Drop(next.firstLength());
            symbol = next.firstSymbol();
        } else {
            symbol = reader.Symbol(ac);
        }
        if (symbol < 0) return Failure(symbol);
        const int run = symbol >> 4, size = symbol & 15;
        if (size == 0) {
            if (run != 15) return nullptr;  // end of block
            k += 16;                        // sixteen zeros
            continue;
        }
        k += run;
        if (k > 63 || size > kMaxAcCategory) return kBadCode;
        if (!reader.Take(size)) return kCutShort;
        ++k;
    }
    return k > 64 ? kBadCode : nullptr;
}

}  // namespace

struct JpegEntropyCheck::State {
    std::array<HuffmanTable, 8> tables{};  // DC 0..3, then AC 0..3
    // Per component and coefficient (in zigzag order) the point transform of its last scan: -1 before
    // its first, 0 once it is complete.
    std::array<std::array<std::int8_t, 64>, 4> precision{};
    std::array<bool, 4> coded{};
    // Per component and block, which AC coefficients are already nonzero: a refinement scan reads a
    // correction bit for each of those. Kept for components with AC successive approximation only.
    std::array<std::vector<std::uint64_t>, 4> nonzero{};
};

JpegEntropyCheck::JpegEntropyCheck() : state_(std::make_unique<State>()) {
    for (auto& component : state_->precision) component.fill(-1);
}
JpegEntropyCheck::~JpegEntropyCheck() = default;

bool JpegEntropyCheck::DefineHuffmanTables(std::span<const std::uint8_t> segment) {
    std::size_t at = 0;
    while (at < segment.size()) {
        if (segment.size() - at < 17) return false;
        const std::uint8_t kind = segment[at];  // class (0 DC, 1 AC) << 4 | slot
        if ((kind & 0x0f) > 3 || (kind >> 4) > 1) return false;
        const std::uint8_t* counts = &segment[at + 1];
        std::size_t total = 0;
        for (int i = 0; i < 16; ++i) total += counts[i];
        if (total > 256 || total > segment.size() - at - 17) return false;
        HuffmanTable& table = state_->tables[(kind >> 4) * 4 + (kind & 3)];
        if (!BuildTable(counts, segment.subspan(at + 17, total), kind < 0x10, table)) return false;
        at += 17 + total;
    }
    return true;
}

bool JpegEntropyCheck::ImageComplete(const JpegFrame& frame) const {
    for (std::uint32_t c = 0; c < frame.count; ++c) {
        const auto& precision = state_->precision[c];
        if (!state_->coded[c] || (frame.progressive && std::any_of(precision.begin(), precision.end(), [](std::int8_t p) { return p != 0; })))
            return false;
    }
    return true;
}

namespace {

// Whether `scan` may come now: parameters its frame allows, the tables it needs defined, and in a
// progressive file the order of T.81 G.1.1.1 (a component's DC before its AC, a first scan of each
// coefficient before its refinements, each refinement one bit below the last). libjpeg only warns of
// a wrong order and goes on.
const char* AdmitScan(const JpegFrame& frame, const JpegScan& scan, const std::array<HuffmanTable, 8>& tables,
                      const std::array<bool, 4>& coded, const std::array<std::array<std::int8_t, 64>, 4>& precision) {
    if (!frame.progressive) {
        if (scan.ss != 0 || scan.se != 63 || scan.ah != 0 || scan.al != 0) return kBadHeader;
    } else {
        const bool dc = scan.ss == 0;
        if (dc ? scan.se != 0 : scan.ss > scan.se || scan.se > 63 || scan.count != 1) return kBadHeader;
        if ((scan.ah != 0 && scan.al + 1 != scan.ah) || scan.al > 13) return kBadHeader;
    }
    for (std::uint32_t i = 0; i < scan.count; ++i) {
        const std::uint8_t c = scan.component[i];
        if (!frame.progressive && coded[c]) return kRepeated;
        if (frame.progressive) {
            if (scan.ss > 0 && precision[c][0] < 0) return kOutOfOrder;
            for (int k = scan.ss; k <= scan.se; ++k)
                if (scan.ah == 0 ? precision[c][static_cast<std::size_t>(k)] >= 0 : precision[c][static_cast<std::size_t>(k)] != scan.ah)
                    return kOutOfOrder;
        }
        if ((scan.ss == 0 && scan.ah == 0 && !tables[scan.dcTable[i]].defined) || (scan.se > 0 && !tables[4 + scan.acTable[i]].defined))
            return kNoTable;
    }
    return nullptr;
}

// The blocks of a scan in the order they are coded, with the restart markers between intervals.
// `block(i, index)` walks one block of the scan's i-th component; `index` numbers the blocks of a
// scan of one component (AC scans always are), row by row.
// The MCUs of a scan of `count` components, the first of them `first`: of one component alone, its
// blocks (its own size, T.81 A.2.2); of several, MCUs of each one's sampling factors over the image.
std::uint64_t McuCount(const JpegFrame& frame, std::uint32_t count, std::uint8_t first) {
    std::uint32_t maxH = 1, maxV = 1;
    for (std::uint32_t c = 0; c < frame.count; ++c) {
        maxH = std::max<std::uint32_t>(maxH, frame.components[c].h);
        maxV = std::max<std::uint32_t>(maxV, frame.components[c].v);
    }
    // A component's size is the image's scaled by its sampling against the largest, rounded up.
    const std::uint32_t h = count == 1 ? frame.components[first].h : 1, v = count == 1 ? frame.components[first].v : 1;
    return std::uint64_t{(frame.width * h + 8 * maxH - 1) / (8 * maxH)} * ((frame.height * v + 8 * maxV - 1) / (8 * maxV));
}

// The blocks of a scan in the order they are coded, with the restart markers between intervals.
// `block(i, index)` walks one block of the scan's i-th component; `index` numbers the blocks of a
// scan of one component (AC scans always are), row by row.
template <typename Block>
const char* WalkBlocks(BitReader& reader, const JpegFrame& frame, const JpegScan& scan, std::uint32_t& eobRun, Block block) {
    const std::uint64_t mcus = McuCount(frame, scan.count, scan.component[0]);
    std::array<std::uint32_t, 4> blocksPerMcu{1};
    if (scan.count > 1) {
        std::uint32_t total = 0;
        for (std::uint32_t i = 0; i < scan.count; ++i) {
            const JpegComponent& component = frame.components[scan.component[i]];
            blocksPerMcu[i] = std::uint32_t{component.h} * component.v;
            total += blocksPerMcu[i];
        }
        if (total > 10) return kBadHeader;  // T.81 B.2.3's limit, which decoders size their buffers by
    }
    std::uint32_t inInterval = 0;
    int nextRestart = 0xd0;
    for (std::uint64_t mcu = 0; mcu < mcus; ++mcu) {
        if (scan.restartInterval != 0 && inInterval == scan.restartInterval) {
            if (!reader.AtEndOfData()) return kNoRestart;
            if (reader.stop() == BitReader::Stop::EndOfFile) return kCutShort;
            if (reader.marker() != nextRestart) return IsRestart(reader.marker()) ? kRestartOrder : kCutShort;
            reader.PassMarker();
            nextRestart = 0xd0 + (nextRestart - 0xd0 + 1) % 8;
            inInterval = 0;
            eobRun = 0;
        }
        ++inInterval;
        if (scan.count == 1) {
            if (const char* damage = block(0, mcu)) return damage;
            continue;
        }
        for (std::uint32_t i = 0; i < scan.count; ++i)
            for (std::uint32_t b = 0; b < blocksPerMcu[i]; ++b)
                if (const char* damage = block(i, mcu)) return damage;
    }
    if (!reader.AtEndOfData()) return kTrailing;
    // A restart marker after the last interval is harmless; decoders pass over it.
    while (reader.stop() == BitReader::Stop::Marker && IsRestart(reader.marker())) {
        reader.PassMarker();
        if (!reader.AtEndOfData()) return kTrailing;
    }
    return nullptr;
}

}  // namespace

JpegScanWalk JpegEntropyCheck::WalkScan(const JpegFrame& frame, const JpegScan& scan, JpegBytes& bytes) {
    State& state = *state_;
    JpegScanWalk walk;
    if (const char* damage = AdmitScan(frame, scan, state.tables, state.coded, state.precision)) {
        walk.end = JpegScanWalk::End::Damaged;
        walk.damage = damage;
        return walk;
    }
    const bool dcScan = scan.ss == 0;
    for (std::uint32_t i = 0; i < scan.count; ++i) {
        const std::uint8_t c = scan.component[i];
        state.coded[c] = true;
        if (frame.progressive) std::fill(state.precision[c].begin() + scan.ss, state.precision[c].begin() + scan.se + 1, scan.al);
    }
    // Refinements of AC coefficients need to know which are already nonzero: from the first scan on.
    std::vector<std::uint64_t>* nonzero = nullptr;
    if (frame.progressive && !dcScan && (scan.al > 0 || scan.ah > 0)) {
        nonzero = &state.nonzero[scan.component[0]];
        if (nonzero->empty()) {
            const std::uint64_t blocks = McuCount(frame, 1, scan.component[0]);
            try {
                nonzero->assign(static_cast<std::size_t>(blocks), 0);
            } catch (const std::bad_alloc&) {
                walk.end = JpegScanWalk::End::OutOfMemory;
                return walk;
            }
        }
    }

    BitReader reader(bytes);
    std::uint32_t eobRun = 0;  // blocks left of a run with no more coefficients in the band
    const int ss = scan.ss, se = scan.se;
    const HuffmanTable* ac = &state.tables[4 + scan.acTable[0]];
    const char* damage = nullptr;
    if (!frame.progressive) {
        for (std::uint32_t i = 0; i < scan.count; ++i)
            if (!state.tables[4 + scan.acTable[i]].runsBuilt) BuildRuns(state.tables[4 + scan.acTable[i]]);
        damage = WalkBlocks(reader, frame, scan, eobRun, [&](std::uint32_t i, std::uint64_t) {
            return SequentialBlock(reader, state.tables[scan.dcTable[i]], state.tables[4 + scan.acTable[i]]);
        });
    } else if (dcScan && scan.ah == 0) {
        damage = WalkBlocks(reader, frame, scan, eobRun, [&](std::uint32_t i, std::uint64_t) -> const char* {
            const int category = reader.Symbol(state.tables[scan.dcTable[i]]);
            if (category < 0) return Failure(category);
            return category > kMaxDcCategory ? kBadCode : reader.Take(category) ? nullptr : kCutShort;
        });
    } else if (dcScan) {
        damage = WalkBlocks(reader, frame, scan, eobRun,
                            [&](std::uint32_t, std::uint64_t) { return reader.Take(1) ? nullptr : kCutShort; });
    } else if (scan.ah == 0) {
        damage = WalkBlocks(reader, frame, scan, eobRun, [&](std::uint32_t, std::uint64_t index) -> const char* {
            if (eobRun > 0) {
                --eobRun;
                return nullptr;
            }
            int k = ss;
            while (k <= se) {
                const int symbol = reader.Symbol(*ac);
                if (symbol < 0) return Failure(symbol);
                const int run = symbol >> 4, size = symbol & 15;
                if (size == 0) {
                    if (run == 15) {
                        k += 16;
                        continue;
                    }
                    // An end-of-band run: this block and 2^run - 1 + the next `run` bits more.
                    std::uint32_t extra = 0;
                    if (run > 0 && !reader.TakeValue(run, extra)) return kCutShort;
                    eobRun = (1u << run) + extra - 1;
                    return nullptr;
                }
                k += run;
                if (k > se || size > kMaxAcCategory) return kBadCode;
                if (!reader.Take(size)) return kCutShort;
                if (nonzero != nullptr) (*nonzero)[static_cast<std::size_t>(index)] |= std::uint64_t{1} << k;
                ++k;
            }
            return k > se + 1 ? kBadCode : nullptr;
        });
    } else {
        const std::uint64_t inBand = LowBits(se + 1);
        damage = WalkBlocks(reader, frame, scan, eobRun, [&](std::uint32_t, std::uint64_t index) -> const char* {
            std::uint64_t& known = (*nonzero)[static_cast<std::size_t>(index)];
            int k = ss;
            // A correction bit for each coefficient already nonzero from k on, up to the `run`+1-th
            // zero one, where k stops, or to the band's end when there are fewer (or run < 0).
            const auto pass = [&](int run) {
                const std::uint64_t ahead = inBand & ~LowBits(k);
                std::uint64_t zeros = run < 0 ? 0 : ~known & ahead;
                for (; run > 0 && zeros != 0; --run) zeros &= zeros - 1;
                k = zeros != 0 ? std::countr_zero(zeros) : se + 1;
                return reader.TakeMany(BitCount(known & ahead & LowBits(k)));
            };
            if (eobRun == 0) {
                for (; k <= se; ++k) {
                    const int symbol = reader.Symbol(*ac);
                    if (symbol < 0) return Failure(symbol);
                    const int run = symbol >> 4, size = symbol & 15;
                    if (size == 0 && run < 15) {
                        std::uint32_t extra = 0;
                        if (run > 0 && !reader.TakeValue(run, extra)) return kCutShort;
                        eobRun = (1u << run) + extra;
                        break;
                    }
                    if (size > 1) return kBadCode;                        // a new coefficient is +-1
                    if (size == 1 && !reader.Take(1)) return kCutShort;  // its sign
                    if (!pass(run)) return kCutShort;
                    if (k > se) return kBadCode;
                    if (size == 1) known |= std::uint64_t{1} << k;
                }
            }
            if (eobRun > 0) {
                if (!pass(-1)) return kCutShort;
                --eobRun;
            }
            return nullptr;
        });
    }
    walk.bytes = reader.bytesRead();
    if (reader.stop() == BitReader::Stop::EndOfFile) {
        walk.end = JpegScanWalk::End::EndOfFile;
    } else if (damage != nullptr) {
        walk.end = JpegScanWalk::End::Damaged;
        walk.damage = damage;
    } else {
        walk.marker = reader.marker();
    }
    return walk;
}

}  // namespace aperlume::tool
