// Recording and replaying the settings through the host's scripting descriptor: read at start, written
// at finish. The keys are those the terminology resource declares.
#pragma once

#include "host/plugin_context.h"
#include "base/result.h"

namespace aperlume {

// Reads the keys present in the host's descriptor into the parameter block (integers stored as their low
// 16 bits, no range checks) and, when the host offers scripting, sets showDialog from its play
// information. Returns 0, or the error that closing the reader reported; that error also goes to the
// result word unless it is -1715 (an expected key was missing), which is normal for partial descriptors.
ResultCode ReadScriptParameters(PluginContext& context);

// Writes all eleven settings to a new descriptor that replaces the host's. Always 0.
ResultCode WriteScriptParameters(PluginContext& context);

}  // namespace aperlume
