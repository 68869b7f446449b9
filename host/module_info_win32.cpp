// The executable's path on Windows.
#include <windows.h>

#include "host/module_info.h"

namespace aperlume {

void ExecutablePath(char* buffer, std::size_t size) {
    if (size == 0) return;
    DWORD n = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    buffer[n < size ? n : size - 1] = '\0';
}

}  // namespace aperlume
