// Seam: the little the tool needs to know about the process it runs in.
#pragma once

#include <string>

namespace aperlume::tool {

// The folder that holds the running executable (without a trailing separator), or "" when unknown.
// Natively symbolic links are resolved, so a link to the tool leads to its real folder.
std::string ExecutableFolder();

// True when standard error is a terminal, where a progress bar that redraws itself makes sense.
bool StandardErrorIsTerminal();

}  // namespace aperlume::tool
