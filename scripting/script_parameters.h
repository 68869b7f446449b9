// Recording and replaying the settings through the host's scripting descriptor: read at start, written
// at finish. The keys are those the terminology resource declares.
#pragma once

#include "host/plugin_context.h"
#include "base/result.h"

namespace aperlume {

// Reads the keys present in the host's descriptor into the parameter block (integers stored as their low
// 16 bits, no range checks) and, when the host offers scripting, sets showDialog from its play
// information. Returns kOk, or what closing the reader reported: kMissingParameter when an expected key
// was missing (normal for partial descriptors, not an error of the run) or the host's error.
[[nodiscard]] Result ReadScriptParameters(PluginContext& context);

// Writes all eleven settings to a new descriptor that replaces the host's. Nothing it meets stops the
// run: the put procedures' answers are not acted on.
void WriteScriptParameters(PluginContext& context);

}  // namespace aperlume
