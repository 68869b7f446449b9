// Finding the plug-in module.
#include "tools/aperlume/module_location.h"

#include <filesystem>
#include <system_error>

namespace aperlume::tool {

namespace fs = std::filesystem;

std::vector<std::string> ModuleCandidates(const ModulePlaces& places) {
    const fs::path folder = places.executableFolder.empty() ? fs::path(".") : fs::path(places.executableFolder);
    std::vector<std::string> candidates;
    const auto add = [&candidates](const fs::path& path) {
        const std::string text = path.lexically_normal().make_preferred().string();
        for (const std::string& known : candidates)
            if (known == text) return;
        candidates.push_back(text);
    };
    if (!places.builtRelative.empty()) add(folder / places.builtRelative);
    add(folder / places.fileName);
    add(folder / ".." / "lib" / "aperlume" / places.fileName);
    if (!places.installedFolder.empty()) add(fs::path(places.installedFolder) / places.fileName);
    return candidates;
}

std::string FindModule(const ModulePlaces& places, std::string& tried) {
    tried.clear();
    for (const std::string& candidate : ModuleCandidates(places)) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate;
        tried += (tried.empty() ? "" : ", ") + candidate;
    }
    return std::string();
}

}  // namespace aperlume::tool
