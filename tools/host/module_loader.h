// Seam: loading the plug-in module and finding its entry point (LoadLibrary/GetProcAddress on Windows,
// dlopen/dlsym natively).
#pragma once

#include <string>

#include "tools/host/filter_host.h"

namespace aperlume::testhost {

class PluginModule {
public:
    PluginModule() = default;
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Loads the module at `path` (a path in the platform's own form) and finds "PluginMain". On
    // failure returns false and leaves a description in Error().
    bool Load(const std::string& path);
    PluginEntry Entry() const { return entry_; }
    const std::string& Error() const { return error_; }

private:
    void* module_ = nullptr;
    PluginEntry entry_ = nullptr;
    std::string error_;
};

// A Unix path as the platform's loader wants it (under Wine: "Z:" and backslashes).
std::string PlatformPath(const std::string& unixPath);

}  // namespace aperlume::testhost
