// The portable part of safe output: the checks made before any work.
#include "tools/imagefile/output_file.h"

#include <filesystem>
#include <system_error>

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;

fs::path FolderOf(const fs::path& path) {
    fs::path folder = path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

ToolStatus CheckOutputPath(const std::string& path) {
    if (path.empty()) return ToolStatus::Failure("the output file name is empty");
    std::error_code error;
    const fs::path target(path);
    const fs::path folder = FolderOf(target);
    if (!fs::is_directory(folder, error))
        return ToolStatus::Failure("cannot write " + path + ": the folder " + folder.string() + " does not exist");
    if (fs::is_directory(target, error)) return ToolStatus::Failure("cannot write " + path + ": it is a folder");
    if (IsReadOnlyFile(path)) return ToolStatus::Failure("cannot write " + path + ": the file is read-only");
    return ToolStatus::Success();
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code error;
    const bool same = fs::equivalent(a, b, error);
    if (!error) return same;
    // Not both there: the same name, however written, is still the same file.
    const fs::path left = fs::absolute(a, error).lexically_normal();
    const fs::path right = fs::absolute(b, error).lexically_normal();
    return !error && left == right;
}

}  // namespace aperlume::tool
