// The executable's path natively, written with backslashes as a Windows host would report it, so that
// host identification runs the same code on both builds.
#include <unistd.h>

#include "host/module_info.h"

namespace aperlume {

void ExecutablePath(char* buffer, std::size_t size) {
    if (size == 0) return;
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n < 0) n = 0;
    buffer[n] = '\0';
    for (ssize_t i = 0; i < n; ++i)
        if (buffer[i] == '/') buffer[i] = '\\';
}

}  // namespace aperlume
