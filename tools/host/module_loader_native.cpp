// Loading the native build of the plug-in (a shared library).
#include <dlfcn.h>

#include "tools/host/module_loader.h"

namespace aperlume::testhost {

PluginModule::~PluginModule() {
    if (module_ != nullptr) dlclose(module_);
}

bool PluginModule::Load(const std::string& path) {
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* why = dlerror();
        error_ = why != nullptr ? why : "cannot load the module";
        return false;
    }
    entry_ = reinterpret_cast<PluginEntry>(dlsym(module_, "PluginMain"));
    if (entry_ == nullptr) {
        error_ = "the module has no entry point PluginMain";
        return false;
    }
    return true;
}

std::string PlatformPath(const std::string& unixPath) { return unixPath; }

}  // namespace aperlume::testhost
