// Opening files on Windows through the wide C runtime call, which takes every name the file system
// can hold.
#include "tools/imagefile/file_open.h"

#include "tools/imagefile/wide_path_win32.h"

namespace aperlume::tool {

OpenedFile OpenFile(const std::string& path, const char* mode) {
    const std::wstring widePath = WidePath(path);
    if (widePath.empty()) return nullptr;
    // The mode is plain ASCII ("rb", "r+b", ...).
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return OpenedFile(_wfopen(widePath.c_str(), wideMode.c_str()));
}

}  // namespace aperlume::tool
