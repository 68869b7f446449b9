// ParallelFor's threads on std::thread, and the processors this process may run on.
#include <sched.h>
#include <pthread.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "base/parallel_pieces.h"

namespace aperlume {
namespace {

struct NativeSync {
    std::mutex mutex;
    std::condition_variable condition;
    std::thread threads[detail::kMostHelpers];
    std::int32_t count = 0;

    void Lock() { mutex.lock(); }
    void Unlock() { mutex.unlock(); }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex, std::adopt_lock);
        condition.wait(lock);
        lock.release();  // still held, as the caller expects
    }
    void WakeAll() { condition.notify_all(); }
    bool Start(std::int32_t, detail::HelperEntry entry, void* argument) noexcept {
        try {
            threads[count] = std::thread(entry, argument);
        } catch (...) {
            return false;  // no memory or no thread to be had
        }
        ++count;
        return true;
    }
    void JoinAll() {
        for (std::int32_t i = 0; i < count; ++i) threads[i].join();
        count = 0;
    }
};

// The processors in the calling thread's affinity mask (taskset, a container's CPU set), in a set large
// enough for the machine; 0 when the system cannot tell.
std::int32_t AffinityProcessors() noexcept {
    for (int processors = CPU_SETSIZE; processors <= (1 << 16); processors *= 2) {
        cpu_set_t* set = CPU_ALLOC(processors);
        if (set == nullptr) return 0;
        const std::size_t size = CPU_ALLOC_SIZE(processors);
        const int done = sched_getaffinity(0, size, set);
        const int count = done == 0 ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (done == 0) return count;
        if (errno != EINVAL) return 0;  // EINVAL: the machine has more processors than the set holds
    }
    return 0;
}

}  // namespace

std::int32_t HardwareThreads() noexcept {
    std::int32_t count = AffinityProcessors();
    if (count <= 0) count = static_cast<std::int32_t>(std::thread::hardware_concurrency());
    return count < 1 ? 1 : (count > kMostThreads ? kMostThreads : count);
}

namespace detail {

struct WorkerPool {
    PoolCore<NativeSync> core;
};

WorkerPool* NewWorkerPool() noexcept { return new (std::nothrow) WorkerPool; }
void DeleteWorkerPool(WorkerPool* pool) noexcept { delete pool; }
void RunOnPool(WorkerPool& pool, PieceQueue& queue, std::int32_t helpers) noexcept { pool.core.Run(queue, helpers); }
std::uintptr_t CallingThread() noexcept { return static_cast<std::uintptr_t>(pthread_self()); }

}  // namespace detail
}  // namespace aperlume
