// Seam: the full path of the process's executable (GetModuleFileNameA with no module on Windows).
#pragma once

#include <cstddef>

namespace aperlume {

// Writes at most `size` bytes including the terminator; a longer path is cut to fit.
void ExecutablePath(char* buffer, std::size_t size);

}  // namespace aperlume
