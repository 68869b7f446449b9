// The selector protocol: finding or creating the per-instance context in the host's data slot,
// refreshing it for the current call, and handing the call to the selector's handler.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "host/plugin_context.h"

namespace aperlume {

// The whole of PluginMain except the exception barrier: the one place that writes the host's result
// word, once per call. `record` is a FilterRecord, or an AboutRecord for the about selector.
void DispatchSelector(std::int16_t selector, void* record, std::intptr_t* data, std::int16_t* result);

// Refreshes the context's host-dependent fields and creates the parameter block when the host's handle
// is null (kOutOfMemory when it cannot be made).
[[nodiscard]] Result ResetContext(PluginContext& context);

}  // namespace aperlume
