// Which file is which: no output may be an input, two outputs may not be one file, and with
// --output-dir each input's output name.
#pragma once

#include <string>

#include "tools/aperlume/tool_options.h"

namespace aperlume::tool {

// The output for `input` in --output-dir: the input's name, with --suffix before the extension, and
// the --format extension when one is given.
std::string BatchOutputPath(const ToolOptions& options, const std::string& input);

// Looks at the named files (parsing does not): refuses an output that is the same file as an input or
// as another output, whichever way the names are written (through a symbolic link too); with
// --output-dir also two inputs that would give the same output.
ToolStatus CheckFileRoles(const ToolOptions& options);

}  // namespace aperlume::tool
