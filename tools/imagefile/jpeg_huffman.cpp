// Huffman code tables of JPEG files, built as T.81 Annex C assigns the codes, and the slow paths of
// their reading.
#include "tools/imagefile/jpeg_huffman.h"

#include <algorithm>

namespace aperlume::tool::jpeg {
namespace {

// The symbol whose code starts the `width` bits of `bits`, and its code's length; -1 when none does.
int FirstSymbol(const HuffmanTable& table, std::uint32_t bits, int width, int& length) {
    for (length = 1; length <= std::min(width, 16); ++length) {
        const auto code = static_cast<std::int32_t>(bits >> (width - length));
        if (code <= table.maxCode[length]) return table.symbols[static_cast<std::size_t>(code + table.offset[length])];
    }
    return -1;
}

}  // namespace

void MakeSymbolRuns(const HuffmanTable& table, std::array<SymbolRun, 1 << kRunBits>& runs) {
    for (std::uint32_t window = 0; window < runs.size(); ++window) {
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
        runs[window] = SymbolRun(bits, advance, count, endOfBlock, firstLength, std::max(first, 0));
    }
}

bool BuildHuffmanTable(const std::uint8_t* counts, std::span<const std::uint8_t> symbols, bool dc, HuffmanTable& table) {
    table.defined = false;
    table.runs.reset();
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

int BitReader::LongSymbol(const HuffmanTable& table) {
    int length = 0;
    const int symbol = FirstSymbol(table, Peek(16), 16, length);
    if (symbol < 0) return count_ < 16 ? kShort : kBad;
    return Take(length) ? symbol : kShort;
}

}  // namespace aperlume::tool::jpeg
