// The main dialog: the user edits the settings in place with a live preview; OK keeps them, Cancel and
// closing restore the block as it was when the dialog opened.
#pragma once

#include "base/result.h"
#include "host/plugin_context.h"

namespace aperlume {

// Runs the dialog modally (fetching the whole image as it opens). kOk for OK; kUserCanceled for Cancel
// and close; the host's code when the image cannot be fetched; kOutOfMemory without a parameter block
// or when the dialog cannot be created.
[[nodiscard]] Result ShowMainDialog(PluginContext& context);

}  // namespace aperlume
