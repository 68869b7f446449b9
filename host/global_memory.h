// Seam: the platform's movable global memory (Win32 GlobalAlloc and friends). Natively a heap-backed
// table with lock counts, so tests can see leaks and unbalanced locks.
#pragma once

#include <cstddef>

namespace aperlume {

using MovableBlock = void*;  // an HGLOBAL on Windows

// Movable and zero-initialised; null on failure.
MovableBlock AllocateMovable(std::size_t size);
void* LockMovable(MovableBlock block);      // null on failure
void UnlockMovable(MovableBlock block);
MovableBlock ReallocateMovable(MovableBlock block, std::size_t size);  // null on failure
std::size_t MovableSize(MovableBlock block);
MovableBlock MovableFromAddress(const void* address);  // GlobalHandle
void FreeMovable(MovableBlock block);

}  // namespace aperlume
