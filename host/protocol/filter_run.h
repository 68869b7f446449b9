// The filter run as the host sees it: start fetches the whole image and prepares the rectangles;
// continue renders once and ends the run with empty request rectangles.
#pragma once

#include "host/plugin_context.h"

namespace aperlume {

void StartFilter(PluginContext& context);
void ContinueFilter(PluginContext& context);
// Records the settings in the host's scripting descriptor.
void FinishFilter(PluginContext& context);

// Empty inRect, outRect and maskRect: tells the host that the filter needs nothing more.
void EndRequests(FilterRecord& record);

}  // namespace aperlume
