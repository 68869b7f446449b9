// The process facts on Windows: the module file name and the C runtime's console test.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "tools/aperlume/tool_platform.h"

namespace aperlume::tool {

std::string ExecutableFolder() {
    // The wide call has no MAX_PATH limit; the buffer grows until the whole name fits.
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return std::string();
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        if (name.size() >= 32768) return std::string();
        name.resize(name.size() * 2);
    }
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::string();
    name.resize(slash);
    // The tool's file names are in the ANSI code page, as the C runtime's narrow functions take them.
    const int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return std::string();
    std::string folder(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, folder.data(), bytes, nullptr, nullptr);
    folder.resize(static_cast<std::size_t>(bytes - 1));
    return folder;
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace aperlume::tool
