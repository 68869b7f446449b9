// Spreading independent pieces of work over the cores: the one place where the product starts threads.
//
// ParallelFor(threads, count, work) runs work(i) once for every i in [0, count), on at most `threads`
// threads counting the calling thread, and returns when every piece is done. Pieces are handed out in
// order from a shared counter, so which thread runs which piece is left to chance: callers split their
// work so that the result does not depend on it (bands of rows whose boundaries do not depend on the
// number of threads, each written by exactly one piece).
//
// Work must not throw and must not call back into the host: host callbacks (abort, progress, the
// preview's event pump) are made only by the calling thread, between calls of ParallelFor. When a
// thread cannot be started the remaining pieces run on the threads that did start (at the least the
// calling one), so ParallelFor cannot fail.
//
// Starting a thread is not free (on Windows every loaded library's thread-attach code runs first), and a
// render makes dozens of calls: while a ParallelScope lives, the calls of the thread that opened it run
// on helper threads the scope keeps, started at the first call that wants them and joined when the scope
// ends. Without a scope, and on any other thread, each call starts and joins threads of its own.
#pragma once

#include <cstdint>
#include <type_traits>

namespace aperlume {

// The most threads a render uses, the calling one included.
inline constexpr std::int32_t kMostThreads = 64;

// The number of threads worth starting for a render: the processors this process may run on (its CPU
// affinity; on Windows across processor groups), at least 1 and at most kMostThreads.
std::int32_t HardwareThreads() noexcept;

namespace detail {
using PieceFunction = void (*)(void* work, std::int64_t piece) noexcept;
void RunPieces(std::int32_t threads, std::int64_t count, PieceFunction function, void* work) noexcept;
struct WorkerPool;
}  // namespace detail

template <class Work>
void ParallelFor(std::int32_t threads, std::int64_t count, Work&& work) noexcept {
    using Callable = std::remove_reference_t<Work>;
    detail::RunPieces(threads, count,
                      [](void* w, std::int64_t piece) noexcept { (*static_cast<Callable*>(w))(piece); },
                      const_cast<void*>(static_cast<const void*>(&work)));
}

// Keeps helper threads for the ParallelFor calls that the opening thread makes while the scope lives.
// Scopes opened inside it on the same thread (a preview rendered from a check point of another) use its
// helpers; a scope opened on another thread while one is open keeps none. Opening and closing cannot fail:
// without memory for a pool the calls simply start their own threads.
class ParallelScope {
public:
    ParallelScope() noexcept;
    ~ParallelScope();
    ParallelScope(const ParallelScope&) = delete;
    ParallelScope& operator=(const ParallelScope&) = delete;

private:
    detail::WorkerPool* pool_ = nullptr;  // null unless this scope opened the pool
};

}  // namespace aperlume
