// The host's handle procedures, used only when the host offers a usable set (version 1, at least seven
// procedures, new/dispose/getSize/setSize present); otherwise the plug-in's own movable handles.
#pragma once

#include <cstdint>

#include "host/host_records.h"

namespace aperlume {

[[nodiscard]] bool UsableHandleProcs(const HandleProcs* procs);

Handle HostNewHandle(const HandleProcs* procs, std::int32_t size);
void HostDisposeHandle(const HandleProcs* procs, Handle handle);
// The handle's data address, or null.
void* HostLockHandle(const HandleProcs* procs, Handle handle, Boolean moveHigh);
void HostUnlockHandle(const HandleProcs* procs, Handle handle);

}  // namespace aperlume
