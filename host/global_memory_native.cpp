// Movable global memory for the native build: a heap-backed table of blocks with lock counts, so that
// tests can see leaks and unbalanced locks (see global_memory_probe.h).
#include <cstdlib>
#include <cstring>
#include <map>

#include "host/global_memory.h"
#include "host/global_memory_probe.h"

namespace aperlume {
namespace {

struct Block {
    void* data;
    std::size_t size;
    int locks;
};

// Keyed by the block's own address: a "handle" is a Block*. Process-wide as the system's global memory
// it stands in for.
std::map<const void*, Block*>* table = nullptr;

std::map<const void*, Block*>& ByAddress() {
    if (table == nullptr) table = new std::map<const void*, Block*>();
    return *table;
}

// The blocks still held when the module is unloaded (the tool loads it afresh for every file), such as
// the context a host keeps in its data slot, go with it, as a process's memory goes when it ends: the
// table that reaches them would be gone.
struct ReleaseAtUnload {
    ~ReleaseAtUnload() {
        if (table == nullptr) return;
        ReleaseAllMovableBlocks();
        delete table;
        table = nullptr;
    }
} releaseAtUnload;
std::int64_t failAt = 0;
std::int64_t made = 0;
std::int64_t live = 0;

bool InjectedFailure() {
    ++made;
    return failAt != 0 && made == failAt;
}

}  // namespace

MovableBlock AllocateMovable(std::size_t size) {
    if (InjectedFailure()) return nullptr;
    void* data = std::calloc(size == 0 ? 1 : size, 1);
    if (data == nullptr) return nullptr;
    auto* block = new (std::nothrow) Block{data, size, 0};
    if (block == nullptr) {
        std::free(data);
        return nullptr;
    }
    ByAddress()[data] = block;
    ++live;
    return block;
}

void* LockMovable(MovableBlock handle) {
    if (handle == nullptr) return nullptr;
    auto* block = static_cast<Block*>(handle);
    ++block->locks;
    return block->data;
}

void UnlockMovable(MovableBlock handle) {
    if (handle == nullptr) return;
    auto* block = static_cast<Block*>(handle);
    if (block->locks > 0) --block->locks;
}

MovableBlock ReallocateMovable(MovableBlock handle, std::size_t size) {
    if (handle == nullptr || InjectedFailure()) return nullptr;
    auto* block = static_cast<Block*>(handle);
    if (block->locks > 0) return nullptr;  // a locked movable block cannot move
    void* data = std::calloc(size == 0 ? 1 : size, 1);
    if (data == nullptr) return nullptr;
    std::memcpy(data, block->data, block->size < size ? block->size : size);
    ByAddress().erase(block->data);
    std::free(block->data);
    block->data = data;
    block->size = size;
    ByAddress()[data] = block;
    return block;
}

std::size_t MovableSize(MovableBlock handle) {
    return handle == nullptr ? 0 : static_cast<Block*>(handle)->size;
}

MovableBlock MovableFromAddress(const void* address) {
    auto it = ByAddress().find(address);
    return it == ByAddress().end() ? nullptr : it->second;
}

void FreeMovable(MovableBlock handle) {
    if (handle == nullptr) return;
    auto* block = static_cast<Block*>(handle);
    ByAddress().erase(block->data);
    std::free(block->data);
    delete block;
    --live;
}

std::int64_t LiveMovableBlocks() { return live; }
int MovableLockCount(const void* address) {
    auto it = ByAddress().find(address);
    return it == ByAddress().end() ? -1 : it->second->locks;
}
void FailMovableAllocationNumber(std::int64_t ordinal) { failAt = ordinal == 0 ? 0 : made + ordinal; }

void ReleaseAllMovableBlocks() {
    while (!ByAddress().empty()) FreeMovable(ByAddress().begin()->second);
}

}  // namespace aperlume
