// Writing an output file so that a failure never leaves a partial file behind and never destroys an
// existing one: the content goes to a temporary file in the same folder, which then replaces the
// target in one rename.
#pragma once

#include <functional>
#include <string>

#include "tools/aperlume/tool_status.h"

namespace aperlume::tool {

// Checks, before any work, that `path` can be an output: its folder exists and it is not a folder.
ToolStatus CheckOutputPath(const std::string& path);

// Calls `write` with a fresh temporary path beside `path`, then renames it over `path`. On any
// failure the temporary file is removed and `path` is left as it was.
ToolStatus WriteFileAtomically(const std::string& path,
                               const std::function<ToolStatus(const std::string& temporaryPath)>& write);

}  // namespace aperlume::tool
