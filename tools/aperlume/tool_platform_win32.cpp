// The process facts on Windows: the module file name and the C runtime's console test.
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "tools/aperlume/tool_platform.h"

namespace aperlume::tool {

std::string ExecutableFolder() {
    char name[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string path(name, length);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace aperlume::tool
