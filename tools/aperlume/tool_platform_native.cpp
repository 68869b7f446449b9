// The process facts natively: /proc/self/exe and isatty.
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "tools/aperlume/tool_platform.h"

namespace aperlume::tool {

std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace aperlume::tool
