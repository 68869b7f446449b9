// The host's 16-bit result codes: the one currency in which every operation reports its outcome.
#pragma once

#include <cstdint>

namespace aperlume {

using ResultCode = std::int16_t;

inline constexpr ResultCode kNoError = 0;
inline constexpr ResultCode kMissingParameter = -1715;  // tolerated by the scripting read
inline constexpr ResultCode kOutOfMemory = -108;
inline constexpr ResultCode kUserCanceled = -128;
inline constexpr ResultCode kBadParameters = -30100;
inline constexpr ResultCode kBadMode = -30101;

}  // namespace aperlume
