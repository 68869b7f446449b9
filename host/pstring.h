// Length-prefixed strings as the alerts compose them: one length byte, at most 254 text bytes and a NUL
// after the last one, in a 256-byte buffer. The text is bytes (code page 932 for Japanese), never
// decoded here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace aperlume {

inline constexpr std::size_t kPStringBufferSize = 256;
inline constexpr std::size_t kPStringMaxLength = 254;  // so that the NUL after the text always fits

using PString = std::array<std::uint8_t, kPStringBufferSize>;

// Appends source[start] .. source[start + count - 1] to the destination (start 0 for a NUL-terminated
// source, 1 to skip a length byte). Appending stops when the destination holds 255 characters; a
// destination of 255 is then cut to 254 and a NUL written after the last character.
void AppendToPString(PString& destination, const std::uint8_t* source, std::size_t start, std::size_t count);

// Replaces the markers ^0, ^1 and ^2 by the given strings (nothing for a null or empty one), within the
// 254-character limit. After each position the scan resumes one character further, so the first
// character of an inserted string is never examined again but a marker later inside it is.
void SubstituteParams(PString& text, const PString* p0, const PString* p1, const PString* p2);

// The decimal text of the value (a leading minus sign for negative values, no leading zeros).
void LongToPString(std::int32_t value, PString& out);

// The text as a length-prefixed string (cut to 254 characters).
PString MakePString(const char* text);

}  // namespace aperlume
