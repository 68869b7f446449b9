// The walk of a JPEG file's entropy-coded data: the Huffman codes a decoder reads, block by block, with
// the coefficients' values skipped rather than kept.
#include "tools/imagefile/jpeg_entropy_check.h"

#include <algorithm>
#include <bit>
#include <new>

#include "tools/imagefile/jpeg_huffman.h"

namespace aperlume::tool {
namespace {

using jpeg::BitReader;
using jpeg::HuffmanTable;
using jpeg::kMaxAcCategory;
using jpeg::kMaxDcCategory;

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

// Where a scan's blocks pay for the tables that walk several symbols a step.
constexpr std::uint64_t kManyBlocks = 8192;

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

const char* Failure(int symbol) { return symbol == BitReader::kShort ? kCutShort : kBadCode; }

// A block of a sequential scan: the DC difference, then AC run/size codes up to the end of block.
const char* SequentialBlock(BitReader& reader, const HuffmanTable& dc, const HuffmanTable& ac) {
    int symbol = reader.Symbol(dc);
    if (symbol < 0) return Failure(symbol);
    if (symbol > kMaxDcCategory) return kBadCode;
    if (!reader.Take(symbol)) return kCutShort;
    int k = 1;
    while (k < 64) {
        if (ac.runs == nullptr) {
            symbol = reader.Symbol(ac);
        } else {
            // Several symbols at once, unless the block may end among them (at its last coefficient).
            const jpeg::SymbolRun next = reader.Run(*ac.runs);
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

// The band of a progressive AC scan, and the blocks left of a run with no more coefficients in it.
struct Band {
    int ss, se;
    std::uint32_t eobRun;
    std::uint64_t bits;  // the band's coefficients and those before it
};

// An end-of-band symbol of `run`: this block and 2^run - 1 more, plus the next `run` bits.
bool EndOfBandRun(BitReader& reader, int run, std::uint32_t& blocks) {
    std::uint32_t extra = 0;
    if (run > 0 && !reader.TakeValue(run, extra)) return false;
    blocks = (1u << run) + extra;
    return true;
}

// A block of a progressive first AC scan; `known`, where kept, gets the coefficients made nonzero.
const char* AcFirstBlock(BitReader& reader, const HuffmanTable& ac, Band& band, std::uint64_t* known) {
    if (band.eobRun > 0) {
        --band.eobRun;
        return nullptr;
    }
    int k = band.ss;
    while (k <= band.se) {
        const int symbol = reader.Symbol(ac);
        if (symbol < 0) return Failure(symbol);
        const int run = symbol >> 4, size = symbol & 15;
        if (size == 0 && run < 15) {
            if (!EndOfBandRun(reader, run, band.eobRun)) return kCutShort;
            --band.eobRun;
            return nullptr;
        }
        if (size == 0) {  // sixteen zeros
            k += 16;
            continue;
        }
        k += run;
        if (k > band.se || size > kMaxAcCategory) return kBadCode;
        if (!reader.Take(size)) return kCutShort;
        if (known != nullptr) *known |= std::uint64_t{1} << k;
        ++k;
    }
    return k > band.se + 1 ? kBadCode : nullptr;
}

// A block of a progressive AC refinement scan: new coefficients of +-1 after runs of zero ones, and a
// correction bit for each coefficient `known` to be nonzero already that a run or the band's end
// passes over.
const char* AcRefinementBlock(BitReader& reader, const HuffmanTable& ac, Band& band, std::uint64_t& known) {
    int k = band.ss;
    // Passes from k up to the `run`+1-th zero coefficient, where k stops, or to the band's end when
    // there are fewer (or run < 0).
    const auto pass = [&](int run) {
        const std::uint64_t ahead = band.bits & ~LowBits(k);
        std::uint64_t zeros = run < 0 ? 0 : ~known & ahead;
        for (; run > 0 && zeros != 0; --run) zeros &= zeros - 1;
        k = zeros != 0 ? std::countr_zero(zeros) : band.se + 1;
        return reader.TakeMany(BitCount(known & ahead & LowBits(k)));
    };
    if (band.eobRun == 0) {
        for (; k <= band.se; ++k) {
            const int symbol = reader.Symbol(ac);
            if (symbol < 0) return Failure(symbol);
            const int run = symbol >> 4, size = symbol & 15;
            if (size == 0 && run < 15) {
                if (!EndOfBandRun(reader, run, band.eobRun)) return kCutShort;
                break;
            }
            if (size > 1) return kBadCode;
            if (size == 1 && !reader.Take(1)) return kCutShort;  // the new coefficient's sign
            if (!pass(run)) return kCutShort;
            if (k > band.se) return kBadCode;
            if (size == 1) known |= std::uint64_t{1} << k;
        }
    }
    if (band.eobRun > 0) {
        if (!pass(-1)) return kCutShort;
        --band.eobRun;
    }
    return nullptr;
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
        if (!jpeg::BuildHuffmanTable(counts, segment.subspan(at + 17, total), kind < 0x10, table)) return false;
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

    // Sequential scans of many blocks walk several symbols a step (jpeg::SymbolRun).
    if (!frame.progressive && McuCount(frame, scan.count, scan.component[0]) * scan.count >= kManyBlocks) {
        for (std::uint32_t i = 0; i < scan.count; ++i) {
            HuffmanTable& table = state.tables[4 + scan.acTable[i]];
            if (table.runs != nullptr) continue;
            try {
                table.runs = std::make_unique<std::array<jpeg::SymbolRun, 1 << jpeg::kRunBits>>();
            } catch (const std::bad_alloc&) {
                walk.end = JpegScanWalk::End::OutOfMemory;
                return walk;
            }
            jpeg::MakeSymbolRuns(table, *table.runs);
        }
    }

    BitReader reader(bytes);
    const HuffmanTable& ac = state.tables[4 + scan.acTable[0]];
    Band band{scan.ss, scan.se, 0, LowBits(scan.se + 1)};
    const char* damage = nullptr;
    if (!frame.progressive) {
        damage = WalkBlocks(reader, frame, scan, band.eobRun, [&](std::uint32_t i, std::uint64_t) {
            return SequentialBlock(reader, state.tables[scan.dcTable[i]], state.tables[4 + scan.acTable[i]]);
        });
    } else if (dcScan && scan.ah == 0) {
        damage = WalkBlocks(reader, frame, scan, band.eobRun, [&](std::uint32_t i, std::uint64_t) -> const char* {
            const int category = reader.Symbol(state.tables[scan.dcTable[i]]);
            if (category < 0) return Failure(category);
            return category > kMaxDcCategory ? kBadCode : reader.Take(category) ? nullptr : kCutShort;
        });
    } else if (dcScan) {
        damage = WalkBlocks(reader, frame, scan, band.eobRun,
                            [&](std::uint32_t, std::uint64_t) { return reader.Take(1) ? nullptr : kCutShort; });
    } else if (scan.ah == 0) {
        damage = WalkBlocks(reader, frame, scan, band.eobRun, [&](std::uint32_t, std::uint64_t index) {
            return AcFirstBlock(reader, ac, band, nonzero != nullptr ? &(*nonzero)[static_cast<std::size_t>(index)] : nullptr);
        });
    } else {
        damage = WalkBlocks(reader, frame, scan, band.eobRun, [&](std::uint32_t, std::uint64_t index) {
            return AcRefinementBlock(reader, ac, band, (*nonzero)[static_cast<std::size_t>(index)]);
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
