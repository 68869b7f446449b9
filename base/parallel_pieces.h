// The part of ParallelFor shared by both platforms: the counter from which threads take their pieces, and
// the helper threads that take them, written once over a platform's lock, wake-up and thread calls.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/parallel_for.h"

namespace aperlume::detail {

// The most helper threads one pool keeps (the calling thread makes one more).
inline constexpr std::int32_t kMostHelpers = kMostThreads - 1;

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
    const std::int64_t wanted = threads - 1 < count - 1 ? threads - 1 : count - 1;
    return static_cast<std::int32_t>(wanted < kMostHelpers ? wanted : kMostHelpers);
}

// Helper threads started so far in the process (a test hook: the pool's reuse is observable).
std::int64_t HelperThreadsStarted() noexcept;
void CountHelperStarted() noexcept;

using HelperEntry = void (*)(void* argument) noexcept;

// Helper threads started when a run first wants them and kept until the pool ends, so that a series of
// runs starts each thread once. Sync is the platform's: Lock and Unlock one mutex, Wait on one condition
// (giving the mutex up meanwhile), WakeAll, Start(index, entry, argument) helper `index` (false when no
// thread can be had) and JoinAll the started ones. Runs come from one thread at a time.
template <class Sync>
class PoolCore {
public:
    PoolCore() = default;
    PoolCore(const PoolCore&) = delete;
    PoolCore& operator=(const PoolCore&) = delete;
    ~PoolCore() { Stop(); }

    // Runs the queue on the calling thread and up to `helpers` helper threads, and returns when every
    // piece is done. When threads cannot be started, the ones there are (at the least the calling one)
    // do all the pieces.
    void Run(PieceQueue& queue, std::int32_t helpers) noexcept {
        while (started_ < helpers) {
            Helper& helper = helper_[started_];
            helper = Helper{this, started_, generation_};
            if (!sync_.Start(started_, &HelperMain, &helper)) break;
            CountHelperStarted();
            ++started_;
        }
        const std::int32_t taking = helpers < started_ ? helpers : started_;
        sync_.Lock();
        queue_ = &queue;
        taking_ = taking;
        working_ = taking;
        ++generation_;
        sync_.WakeAll();
        sync_.Unlock();
        queue.Drain();
        sync_.Lock();
        while (working_ > 0) sync_.Wait();
        queue_ = nullptr;
        sync_.Unlock();
    }

    void Stop() noexcept {
        sync_.Lock();
        stop_ = true;
        sync_.WakeAll();
        sync_.Unlock();
        sync_.JoinAll();
        started_ = 0;
    }

private:
    struct Helper {
        PoolCore* pool;
        std::int32_t index;
        std::uint64_t seen;  // the last run it looked at
    };

    static void HelperMain(void* argument) noexcept {
        Helper& helper = *static_cast<Helper*>(argument);
        PoolCore& pool = *helper.pool;
        pool.sync_.Lock();
        for (;;) {
            while (!pool.stop_ && pool.generation_ == helper.seen) pool.sync_.Wait();
            if (pool.stop_) break;
            helper.seen = pool.generation_;
            if (helper.index >= pool.taking_) continue;
            PieceQueue* queue = pool.queue_;
            pool.sync_.Unlock();
            queue->Drain();
            pool.sync_.Lock();
            if (--pool.working_ == 0) pool.sync_.WakeAll();
        }
        pool.sync_.Unlock();
    }

    Sync sync_;
    Helper helper_[kMostHelpers] = {};
    std::int32_t started_ = 0;
    // Guarded by the lock:
    PieceQueue* queue_ = nullptr;
    std::uint64_t generation_ = 0;
    std::int32_t taking_ = 0;   // helpers 0..taking_-1 take part in the current run
    std::int32_t working_ = 0;  // of those, the ones not yet done
    bool stop_ = false;
};

// The platform's side of ParallelScope: an opaque pool, and a token for the calling thread (never 0).
struct WorkerPool;
[[nodiscard]] WorkerPool* NewWorkerPool() noexcept;
void DeleteWorkerPool(WorkerPool* pool) noexcept;
void RunOnPool(WorkerPool& pool, PieceQueue& queue, std::int32_t helpers) noexcept;
[[nodiscard]] std::uintptr_t CallingThread() noexcept;

}  // namespace aperlume::detail
