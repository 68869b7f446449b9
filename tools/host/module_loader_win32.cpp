// Loading the .8bf module on Windows, with the default search path as hosts do.
#include <windows.h>

#include "tools/host/module_loader.h"

namespace aperlume::testhost {

PluginModule::~PluginModule() {
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

bool PluginModule::Load(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error_ = "cannot load the module (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    module_ = module;
    entry_ = reinterpret_cast<PluginEntry>(reinterpret_cast<void*>(GetProcAddress(module, "PluginMain")));
    if (entry_ == nullptr) {
        error_ = "the module has no entry point PluginMain";
        return false;
    }
    return true;
}

std::string PlatformPath(const std::string& unixPath) {
    if (unixPath.empty() || unixPath[0] != '/') return unixPath;
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace aperlume::testhost
