// ParallelFor on std::thread.
#include <thread>
#include <vector>

#include "base/parallel_pieces.h"

namespace aperlume {

std::int32_t HardwareThreads() noexcept {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<std::int32_t>(count > 64 ? 64 : count);
}

namespace detail {

void RunPieces(std::int32_t threads, std::int64_t count, PieceFunction function, void* work) noexcept {
    PieceQueue queue{{0}, count, function, work};
    std::vector<std::thread> helpers;
    try {
        const std::int32_t wanted = HelperThreads(threads, count);
        helpers.reserve(static_cast<std::size_t>(wanted));
        for (std::int32_t i = 0; i < wanted; ++i) helpers.emplace_back([&queue] { queue.Drain(); });
    } catch (...) {
        // No memory or no thread to be had: the threads that did start, and this one, do all the pieces.
    }
    queue.Drain();
    for (std::thread& helper : helpers) helper.join();
}

}  // namespace detail
}  // namespace aperlume
