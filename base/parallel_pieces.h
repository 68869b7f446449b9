// The part of ParallelFor shared by both platforms: the counter from which threads take their pieces.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/parallel_for.h"

namespace aperlume::detail {

struct PieceQueue {
    std::atomic<std::int64_t> next{0};
    std::int64_t count;
    PieceFunction function;
    void* work;

    // Takes pieces until none is left.
    void Drain() noexcept {
        for (std::int64_t piece = next.fetch_add(1); piece < count; piece = next.fetch_add(1)) function(work, piece);
    }
};

// Extra threads worth starting beside the calling one.
inline std::int32_t HelperThreads(std::int32_t threads, std::int64_t count) noexcept {
    if (threads <= 1 || count <= 1) return 0;
    return static_cast<std::int32_t>(threads - 1 < count - 1 ? threads - 1 : count - 1);
}

}  // namespace aperlume::detail
