// One lens-blur render of the context's renderRect from the host's input buffer into its output buffer:
// read the planes, boost the highlights, spread with the chosen method, undo the boost, write back.
// The outcome is in the result word; on any failure the output buffer is left as it was.
#pragma once

#include "host/plugin_context.h"

namespace aperlume {

void RenderLensBlur(PluginContext& context, bool reportProgress);

// The render scale for hosts that render scaled frames (After Effects): 1.0, 0.5 or 0.25.
double HostRenderScale(const PluginContext& context);

// The odd kernel diameter for an amount at a scale.
int KernelDiameter(int amount, double scale);

}  // namespace aperlume
