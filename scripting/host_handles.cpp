// Handle operations through the host's procedures when they are usable, else through our own handles.
#include "scripting/host_handles.h"

#include "host/movable_handle.h"

namespace aperlume {

bool UsableHandleProcs(const HandleProcs* procs) {
    return procs != nullptr && procs->handleProcsVersion == 1 && procs->numHandleProcs >= 7 &&
           procs->newProc != nullptr && procs->disposeProc != nullptr && procs->getSizeProc != nullptr &&
           procs->setSizeProc != nullptr;
}

Handle HostNewHandle(const HandleProcs* procs, std::int32_t size) {
    return UsableHandleProcs(procs) ? procs->newProc(size) : NewHandle(size);
}

void HostDisposeHandle(const HandleProcs* procs, Handle handle) {
    if (UsableHandleProcs(procs))
        procs->disposeProc(handle);
    else
        DisposeHandle(handle);
}

// Our own handles stay locked for their whole life, so without usable host procedures "locking" one is
// reading its data address: the platform's lock of the handle value itself would give the master
// record, not the data the caller goes on to use.
void* HostLockHandle(const HandleProcs* procs, Handle handle, Boolean moveHigh) {
    if (UsableHandleProcs(procs)) return procs->lockProc == nullptr ? nullptr : procs->lockProc(handle, moveHigh);
    return HandleData(handle);
}

void HostUnlockHandle(const HandleProcs* procs, Handle handle) {
    if (UsableHandleProcs(procs)) {
        if (procs->unlockProc != nullptr) procs->unlockProc(handle);
    }
    // Our own handles need no unlock: they stay locked until disposed.
}

}  // namespace aperlume
