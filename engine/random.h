// The project's pseudo-random generator: the linear congruential sequence of the Windows C runtime,
// results 0..32767, so that Monte Carlo noise is the same on every platform and build.
//
// The sequence: state := state * 214013 + 2531011 (mod 2^32), result := bits 16..30 of the new
// state, first state 1 (so the first results are 41, 18467, 6334, 26500, 19169). One process-wide
// state is never reseeded: every use continues where the previous one left off. The C library's rand
// is never used (its range and sequence differ between platforms).
#pragma once

#include <cstdint>

namespace aperlume {

inline constexpr std::int32_t kRandomMax = 32767;

// One sequence as a value, for callers (and tests) that need the sequence from a known state.
struct RandomSequence {
    std::uint32_t state = 1;

    constexpr std::int32_t Next() {
        state = state * 214013u + 2531011u;
        return static_cast<std::int32_t>((state >> 16) & 0x7fffu);
    }
};

// The next result of the process-wide sequence, 0..32767.
std::int32_t Random();

// The process-wide sequence itself, for a caller that draws in a tight loop: it copies the sequence,
// draws from the copy, and stores the copy back before anything else draws, so that the sequence
// continues exactly after its last draw.
RandomSequence& ProcessRandomSequence();

// The process-wide state as it stands.
std::uint32_t RandomState();

}  // namespace aperlume
