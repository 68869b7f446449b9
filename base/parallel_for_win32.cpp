// ParallelFor's threads on Windows threads (the win32 thread model of our mingw compilers has no
// std::thread), and the processors this process may run on, across processor groups.
#include <windows.h>

#include <new>

#include "base/parallel_pieces.h"
#include "base/processor_groups.h"

namespace aperlume {
namespace {

constexpr std::int32_t kMostGroups = 64;  // more than any Windows machine has

// The machine's processor groups and the process's place among them, as UsableProcessors takes them.
struct Groups {
    std::int32_t processors[kMostGroups] = {};
    KAFFINITY masks[kMostGroups] = {};
    std::int32_t count = 0;
    std::int32_t primary = 0;
    std::int32_t affinityProcessors = 0;

    // False when the system cannot tell (then the process's group is all there is).
    bool Read() noexcept {
        alignas(8) unsigned char buffer[sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX) + kMostGroups * sizeof(PROCESSOR_GROUP_INFO)];
        DWORD size = sizeof buffer;
        auto* info = reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer);
        if (!GetLogicalProcessorInformationEx(RelationGroup, info, &size) || info->Relationship != RelationGroup)
            return false;
        const GROUP_RELATIONSHIP& relation = info->Group;
        count = relation.ActiveGroupCount < kMostGroups ? relation.ActiveGroupCount : kMostGroups;
        if (count == 0) return false;
        for (std::int32_t g = 0; g < count; ++g) {
            processors[g] = relation.GroupInfo[g].ActiveProcessorCount;
            masks[g] = relation.GroupInfo[g].ActiveProcessorMask;
        }
        GROUP_AFFINITY current{};
        if (!GetThreadGroupAffinity(GetCurrentThread(), &current) || current.Group >= count) return false;
        primary = current.Group;
        DWORD_PTR process = 0;
        DWORD_PTR system = 0;
        if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return false;
        // A process spread over several groups reports no mask (0): nothing keeps it to one part.
        affinityProcessors = process == 0 ? processors[primary] : __builtin_popcountll(process);
        return true;
    }
    bool SpreadsOverGroups() const { return count > 1 && affinityProcessors >= processors[primary]; }
};

// A helper's entry and argument, for the thread routine's shape.
struct Launch {
    detail::HelperEntry entry;
    void* argument;
};

DWORD WINAPI StartHelper(LPVOID launch) {
    const Launch& start = *static_cast<const Launch*>(launch);
    start.entry(start.argument);
    return 0;
}

struct WindowsSync {
    CRITICAL_SECTION section;
    CONDITION_VARIABLE condition;
    HANDLE threads[detail::kMostHelpers] = {};
    Launch launches[detail::kMostHelpers] = {};
    std::int32_t count = 0;
    Groups groups;
    bool spread = false;

    WindowsSync() {
        InitializeCriticalSection(&section);
        InitializeConditionVariable(&condition);
        spread = groups.Read() && groups.SpreadsOverGroups();
    }
    ~WindowsSync() { DeleteCriticalSection(&section); }
    WindowsSync(const WindowsSync&) = delete;
    WindowsSync& operator=(const WindowsSync&) = delete;

    void Lock() { EnterCriticalSection(&section); }
    void Unlock() { LeaveCriticalSection(&section); }
    void Wait() { SleepConditionVariableCS(&condition, &section, INFINITE); }
    void WakeAll() { WakeAllConditionVariable(&condition); }
    bool Start(std::int32_t index, detail::HelperEntry entry, void* argument) noexcept {
        launches[count] = Launch{entry, argument};
        // Suspended until placed: a thread of the process's group runs only there unless told otherwise.
        HANDLE thread = CreateThread(nullptr, 0, &StartHelper, &launches[count], CREATE_SUSPENDED, nullptr);
        if (thread == nullptr) return false;
        if (spread) {
            const std::int32_t group = HelperGroup(index, {groups.processors, static_cast<std::size_t>(groups.count)},
                                                   groups.primary);
            if (group != groups.primary) {
                GROUP_AFFINITY affinity{};
                affinity.Group = static_cast<WORD>(group);
                affinity.Mask = groups.masks[group];
                SetThreadGroupAffinity(thread, &affinity, nullptr);  // on failure it stays where it is
            }
        }
        ResumeThread(thread);
        threads[count++] = thread;
        return true;
    }
    void JoinAll() {
        for (std::int32_t i = 0; i < count; ++i) {
            WaitForSingleObject(threads[i], INFINITE);
            CloseHandle(threads[i]);
        }
        count = 0;
    }
};

}  // namespace

std::int32_t HardwareThreads() noexcept {
    Groups groups;
    std::int32_t count = 0;
    if (groups.Read()) {
        count = UsableProcessors({groups.processors, static_cast<std::size_t>(groups.count)}, groups.primary,
                                 groups.affinityProcessors);
    } else {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        count = static_cast<std::int32_t>(info.dwNumberOfProcessors);
    }
    return count < 1 ? 1 : (count > kMostThreads ? kMostThreads : count);
}

namespace detail {

struct WorkerPool {
    PoolCore<WindowsSync> core;
};

WorkerPool* NewWorkerPool() noexcept { return new (std::nothrow) WorkerPool; }
void DeleteWorkerPool(WorkerPool* pool) noexcept { delete pool; }
void RunOnPool(WorkerPool& pool, PieceQueue& queue, std::int32_t helpers) noexcept { pool.core.Run(queue, helpers); }
std::uintptr_t CallingThread() noexcept { return GetCurrentThreadId(); }

}  // namespace detail
}  // namespace aperlume
