// ParallelFor on Windows threads (the win32 thread model of our mingw compilers has no std::thread).
#include <windows.h>

#include "base/parallel_pieces.h"

namespace aperlume {
namespace {

constexpr std::int32_t kMostHelpers = 63;  // WaitForMultipleObjects takes at most 64 handles

DWORD WINAPI DrainQueue(LPVOID queue) {
    static_cast<detail::PieceQueue*>(queue)->Drain();
    return 0;
}

}  // namespace

std::int32_t HardwareThreads() noexcept {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const DWORD count = info.dwNumberOfProcessors;
    return count == 0 ? 1 : static_cast<std::int32_t>(count > 64 ? 64 : count);
}

namespace detail {

void RunPieces(std::int32_t threads, std::int64_t count, PieceFunction function, void* work) noexcept {
    PieceQueue queue{{0}, count, function, work};
    HANDLE helpers[kMostHelpers];
    DWORD started = 0;
    const std::int32_t wanted = HelperThreads(threads, count);
    for (std::int32_t i = 0; i < wanted && i < kMostHelpers; ++i) {
        HANDLE helper = CreateThread(nullptr, 0, &DrainQueue, &queue, 0, nullptr);
        if (helper == nullptr) break;  // the threads that did start, and this one, do all the pieces
        helpers[started++] = helper;
    }
    queue.Drain();
    if (started != 0) WaitForMultipleObjects(started, helpers, TRUE, INFINITE);
    for (DWORD i = 0; i < started; ++i) CloseHandle(helpers[i]);
}

}  // namespace detail
}  // namespace aperlume
