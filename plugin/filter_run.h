// The filter run as the host sees it: start fetches the whole image and prepares the rectangles;
// continue renders once and ends the run with empty request rectangles; finish records the settings.
#pragma once

#include "base/result.h"
#include "host/plugin_context.h"

namespace aperlume {

// On failure the request rectangles are emptied, so that the host does not call continue.
[[nodiscard]] Result StartFilter(PluginContext& context);
[[nodiscard]] Result ContinueFilter(PluginContext& context);
// Records the settings in the host's scripting descriptor.
void FinishFilter(PluginContext& context);

// Empty inRect, outRect and maskRect: tells the host that the filter needs nothing more.
void EndRequests(FilterRecord& record);

}  // namespace aperlume
