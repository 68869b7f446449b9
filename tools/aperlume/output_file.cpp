// Atomic replacement of output files through a temporary file in the target's folder (a rename within
// one folder stays on one file system, so it replaces the target in one step).
#include "tools/aperlume/output_file.h"

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
    if (!fs::is_directory(FolderOf(target), error))
        return ToolStatus::Failure("cannot write " + path + ": the folder " + FolderOf(target).string() +
                                   " does not exist");
    if (fs::is_directory(target, error)) return ToolStatus::Failure("cannot write " + path + ": it is a folder");
    return ToolStatus::Success();
}

ToolStatus WriteFileAtomically(const std::string& path,
                               const std::function<ToolStatus(const std::string& temporaryPath)>& write) {
    if (ToolStatus s = CheckOutputPath(path); !s.ok()) return s;
    const fs::path target(path);
    // A hidden name that no other run picks at the same moment: the first that does not exist yet.
    std::error_code error;
    fs::path temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = FolderOf(target) / ("." + target.filename().string() + ".aperlume-" + std::to_string(attempt));
        if (!fs::exists(temporary, error)) break;
        if (attempt == 999) return ToolStatus::Failure("cannot write " + path + ": no free temporary name");
    }
    ToolStatus status = write(temporary.string());
    if (status.ok()) {
        fs::rename(temporary, target, error);
        if (error) status = ToolStatus::Failure("cannot write " + path + ": " + error.message());
    }
    if (!status.ok()) fs::remove(temporary, error);
    return status;
}

}  // namespace aperlume::tool
