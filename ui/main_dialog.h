// The main dialog: the user edits the settings in place with a live preview; OK keeps them, Cancel and
// closing restore the block as it was when the dialog opened.
#pragma once

#include "host/plugin_context.h"

namespace aperlume {

// Runs the dialog modally (fetching the whole image as it opens). True exactly when the result word is
// 0 afterwards (OK); Cancel and close leave -128.
bool ShowMainDialog(PluginContext& context);

}  // namespace aperlume
