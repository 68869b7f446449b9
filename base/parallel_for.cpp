// ParallelFor's choice between the open scope's helper threads and threads of the call's own
// (base/parallel_for.h); the threads themselves are the platform's (parallel_for_native.cpp,
// parallel_for_win32.cpp).
#include <atomic>

#include "base/parallel_pieces.h"

namespace aperlume {
namespace {

// The open scope's pool and the thread that opened it (0: none). A thread touches the pool only when it
// is that thread, so the pool cannot end under it: only the opening thread ends it. Process-wide because
// ParallelFor is called from every room without a handle to pass; one thread holds it at a time.
std::atomic<detail::WorkerPool*> openPool{nullptr};
std::atomic<std::uintptr_t> openPoolThread{0};
std::atomic<std::int64_t> helpersStarted{0};

}  // namespace

ParallelScope::ParallelScope() noexcept {
    std::uintptr_t none = 0;
    if (!openPoolThread.compare_exchange_strong(none, detail::CallingThread())) return;
    pool_ = detail::NewWorkerPool();
    if (pool_ == nullptr) {
        openPoolThread.store(0);
        return;
    }
    openPool.store(pool_);
}

ParallelScope::~ParallelScope() {
    if (pool_ == nullptr) return;
    openPool.store(nullptr);
    openPoolThread.store(0);
    detail::DeleteWorkerPool(pool_);
}

namespace detail {

std::int64_t HelperThreadsStarted() noexcept { return helpersStarted.load(); }
void CountHelperStarted() noexcept { helpersStarted.fetch_add(1); }

void RunPieces(std::int32_t threads, std::int64_t count, PieceFunction function, void* work) noexcept {
    PieceQueue queue{{0}, count, function, work};
    const std::int32_t helpers = HelperThreads(threads, count);
    if (helpers > 0 && openPoolThread.load() == CallingThread()) {
        if (WorkerPool* pool = openPool.load(); pool != nullptr) {
            RunOnPool(*pool, queue, helpers);
            return;
        }
    }
    WorkerPool* own = helpers > 0 ? NewWorkerPool() : nullptr;
    if (own == nullptr) {
        queue.Drain();  // one piece, one thread, or no memory for more
        return;
    }
    RunOnPool(*own, queue, helpers);
    DeleteWorkerPool(own);
}

}  // namespace detail
}  // namespace aperlume
