// The plug-in's own movable handles, over the platform's movable global memory: a handle is the address
// of a master record holding the data address and the tag "OTOF". Both blocks are locked once at
// creation and stay locked, so a data address never changes while the handle exists.
#pragma once

#include <cstdint>

#include "host/host_records.h"

namespace aperlume {

struct MasterRecord {
    void* data;
    char tag[4];
};

// Null when an allocation or a lock fails. Sizes are host-supplied: negative sizes fail.
Handle NewHandle(std::int32_t size);
void DisposeHandle(Handle handle);            // null is ignored
std::int32_t GetHandleSize(Handle handle);    // 0 for null
void SetHandleSize(Handle handle, std::int32_t size);  // null is ignored
// The data address of one of our handles, or null.
void* HandleData(Handle handle);

}  // namespace aperlume
