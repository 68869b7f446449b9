// GoogleTest with the win32 thread model of mingw-w64: that runtime has no std::mutex or
// std::condition_variable, which GoogleTest's headers name. Our test programs run on one thread, so
// no-op stand-ins are enough. Force-included into the Windows test builds only.
#pragma once
#ifdef __cplusplus
#include <bits/c++config.h>
#if defined(__MINGW32__) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <condition_variable>
#include <mutex>
namespace std {
struct mutex {
    void lock() {}
    void unlock() {}
    bool try_lock() { return true; }
};
struct condition_variable {
    void notify_all() {}
    void notify_one() {}
    template <class Lock, class Predicate>
    void wait(Lock&, Predicate done) {
        while (!done()) {
        }
    }
};
}  // namespace std
#endif
#endif
