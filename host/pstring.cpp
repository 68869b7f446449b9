// Length-prefixed string utilities for the alerts' message templates.
#include "host/pstring.h"

#include <cstring>

namespace aperlume {

void AppendToPString(PString& destination, const std::uint8_t* source, std::size_t start, std::size_t count) {
    std::size_t length = destination[0];
    if (source != nullptr) {
        // 255 is the most a length byte can say; the cut to 254 below keeps room for the NUL.
        for (std::size_t i = 0; i < count && length < 255; ++i) destination[++length] = source[start + i];
    }
    if (length == 255) length = kPStringMaxLength;
    destination[0] = static_cast<std::uint8_t>(length);
    destination[length + 1] = 0;
}

void SubstituteParams(PString& text, const PString* p0, const PString* p1, const PString* p2) {
    const PString* parameters[3] = {p0, p1, p2};
    // Position 1 is the first character; position + 1 must still lie inside the text for a marker.
    for (std::size_t at = 1; at < text[0]; ++at) {
        if (text[at] != '^' || text[at + 1] < '0' || text[at + 1] > '2') continue;
        const PString* parameter = parameters[text[at + 1] - '0'];
        PString rebuilt{};
        AppendToPString(rebuilt, text.data(), 1, at - 1);
        if (parameter != nullptr) AppendToPString(rebuilt, parameter->data(), 1, (*parameter)[0]);
        AppendToPString(rebuilt, text.data(), at + 2, text[0] - (at + 1));
        text = rebuilt;
    }
}

void LongToPString(std::int32_t value, PString& out) {
    // Through 64 bits so that the most negative value has a magnitude too.
    std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::uint8_t digits[12];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<std::uint8_t>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    out[0] = 0;
    out[1] = 0;
    if (value < 0) {
        const std::uint8_t minus = '-';
        AppendToPString(out, &minus, 0, 1);
    }
    while (count > 0) AppendToPString(out, &digits[--count], 0, 1);
}

PString MakePString(const char* text) {
    PString result{};
    if (text != nullptr)
        AppendToPString(result, reinterpret_cast<const std::uint8_t*>(text), 0, std::strlen(text));
    return result;
}

}  // namespace aperlume
