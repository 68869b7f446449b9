// Test view of the native movable memory: live blocks, lock counts, injected failures.
#pragma once

#include <cstdint>

namespace aperlume {

std::int64_t LiveMovableBlocks();
// The lock count of the block whose data starts at `address`, or -1 when there is none.
int MovableLockCount(const void* address);
// Makes the movable allocation with this ordinal (1 = the next one) fail; 0 disarms.
void FailMovableAllocationNumber(std::int64_t ordinal);
// Frees every live block, as the end of the process would: what the plug-in never releases (its
// contexts and parameter blocks) goes between the inputs of a fuzz run.
void ReleaseAllMovableBlocks();

}  // namespace aperlume
