// File names for the wide Windows functions: the tool's names are in the ANSI code page, as the C
// runtime's narrow functions take them.
#pragma once

#include <windows.h>

#include <string>

namespace aperlume::tool {

inline std::wstring WidePath(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

}  // namespace aperlume::tool
