// The outcome of every operation that can fail, in the host's own 16-bit result codes: the one currency
// in which the engine, the transform, the dialog and the protocol report to each other. Only the
// protocol layer writes a Result into the host's result word.
//
// A function that can fail returns Result and says which codes can come back; a function that cannot
// fail returns nothing. Propagate with `if (Result r = Step(); !r.ok()) return r;`.
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
// The host's answer to an image request is not what was asked for (a clipped or tiled rectangle, other
// planes, strides too small for the rectangle, a missing buffer), or its image changed under the run. The
// plug-in reads nothing then. The host's own code for a host that cannot supply what a plug-in needs.
inline constexpr ResultCode kHostInsufficient = -30900;

// Any host code passes through unchanged (an advanceState failure is reported with the host's own code),
// so Result holds a ResultCode rather than a closed enumeration.
class [[nodiscard]] Result {
public:
    constexpr Result() = default;
    constexpr Result(ResultCode code) : code_(code) {}  // NOLINT: a code is a result

    constexpr bool ok() const { return code_ == kNoError; }
    constexpr ResultCode code() const { return code_; }

    friend constexpr bool operator==(Result a, Result b) { return a.code_ == b.code_; }

private:
    ResultCode code_ = kNoError;
};

inline constexpr Result kOk{};

}  // namespace aperlume
