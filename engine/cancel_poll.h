// The check points of the render code: first the preview's interruption check, then the host's
// abortProc; either one turns the run's result word into the cancel code. Progress goes to the host's
// progressProc when it has one.
#pragma once

#include <cstdint>

#include "host/plugin_context.h"

namespace aperlume {

// True (and the result word set to -128) when the run is to stop.
[[nodiscard]] bool PollCancel(PluginContext& context);

// True when the host's abortProc, if any, asks to stop (does not touch the result word).
[[nodiscard]] bool HostAbortRequested(const PluginContext& context);

void ReportProgress(const PluginContext& context, std::int32_t done, std::int32_t total);

}  // namespace aperlume
