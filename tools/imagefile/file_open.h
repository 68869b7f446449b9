// Seam: opening a file by the tool's name for it. Names are UTF-8 strings in every build; on Windows
// the wide call opens them, so a name in any script reaches the file it names.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "tools/imagefile/file_closer.h"

namespace aperlume::tool {

using OpenedFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` with the C runtime's `mode` ("rb", "wb", ...); null when it cannot be opened.
OpenedFile OpenFile(const std::string& path, const char* mode);

}  // namespace aperlume::tool
