// Movable global memory on Windows.
#include <windows.h>

#include "host/global_memory.h"

namespace aperlume {

MovableBlock AllocateMovable(std::size_t size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size); }
void* LockMovable(MovableBlock block) { return GlobalLock(static_cast<HGLOBAL>(block)); }
void UnlockMovable(MovableBlock block) { GlobalUnlock(static_cast<HGLOBAL>(block)); }
MovableBlock ReallocateMovable(MovableBlock block, std::size_t size) {
    return GlobalReAlloc(static_cast<HGLOBAL>(block), size, GMEM_MOVEABLE | GMEM_ZEROINIT);
}
std::size_t MovableSize(MovableBlock block) { return GlobalSize(static_cast<HGLOBAL>(block)); }
MovableBlock MovableFromAddress(const void* address) { return GlobalHandle(address); }
void FreeMovable(MovableBlock block) { GlobalFree(static_cast<HGLOBAL>(block)); }

}  // namespace aperlume
