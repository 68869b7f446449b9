// The movable-handle emulation over the platform's movable global memory. Both the master record and
// the data block are locked right after allocation and stay locked for the handle's whole life.
#include "host/movable_handle.h"

#include <cstring>

#include "host/global_memory.h"

namespace aperlume {
namespace {

// Allocates and locks one zero-filled movable block; null (and nothing kept) on failure.
void* AllocateLocked(std::size_t size) {
    MovableBlock block = AllocateMovable(size);
    if (block == nullptr) return nullptr;
    void* address = LockMovable(block);
    if (address == nullptr) FreeMovable(block);
    return address;
}

void UnlockAndFree(void* address) {
    MovableBlock block = MovableFromAddress(address);
    if (block == nullptr) return;
    UnlockMovable(block);
    FreeMovable(block);
}

}  // namespace

Handle NewHandle(std::int32_t size) {
    if (size < 0) return nullptr;
    auto* master = static_cast<MasterRecord*>(AllocateLocked(sizeof(MasterRecord)));
    if (master == nullptr) return nullptr;
    void* data = AllocateLocked(static_cast<std::size_t>(size));
    if (data == nullptr) {
        UnlockAndFree(master);
        return nullptr;
    }
    master->data = data;
    std::memcpy(master->tag, "OTOF", 4);  // written, never tested
    return master;
}

void DisposeHandle(Handle handle) {
    if (handle == nullptr) return;
    auto* master = static_cast<MasterRecord*>(handle);
    if (master->data != nullptr) UnlockAndFree(master->data);
    UnlockAndFree(master);
}

std::int32_t GetHandleSize(Handle handle) {
    if (handle == nullptr) return 0;
    auto* master = static_cast<MasterRecord*>(handle);
    if (master->data == nullptr) return 0;
    std::size_t size = MovableSize(MovableFromAddress(master->data));
    return size > 0x7fffffff ? 0x7fffffff : static_cast<std::int32_t>(size);
}

void SetHandleSize(Handle handle, std::int32_t size) {
    if (handle == nullptr || size < 0) return;
    auto* master = static_cast<MasterRecord*>(handle);
    MovableBlock block = master->data == nullptr ? nullptr : MovableFromAddress(master->data);
    if (block == nullptr) {
        void* data = AllocateLocked(static_cast<std::size_t>(size));
        if (data != nullptr) master->data = data;
        return;
    }
    UnlockMovable(block);
    MovableBlock resized = ReallocateMovable(block, static_cast<std::size_t>(size));
    // A failed reallocation keeps the old block: lock it again so the handle stays usable.
    void* data = LockMovable(resized != nullptr ? resized : block);
    if (data != nullptr) master->data = data;
}

void* HandleData(Handle handle) {
    if (handle == nullptr) return nullptr;
    return static_cast<MasterRecord*>(handle)->data;
}

}  // namespace aperlume
