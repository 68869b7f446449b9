// Host identification: only the exact executable names of the four known hosts count.
#include "host/host_identification.h"

#include <cstring>

#include "host/module_info.h"
#include "host/process_state.h"

namespace aperlume {

std::int16_t IdentifyHost(const char* fileName) {
    if (fileName == nullptr) return HostOther;
    struct Known {
        const char* name;
        std::int16_t kind;
    };
    static constexpr Known kKnown[] = {
        {"Photoshp.exe", HostPhotoshop},
        {"Photoshop.exe", HostPhotoshop},
        {"Fireworks.exe", HostFireworks},
        {"AfterFX.exe", HostAfterEffects},
        {"premiere.exe", HostPremiere},
    };
    for (const Known& known : kKnown)
        if (std::strcmp(fileName, known.name) == 0) return known.kind;
    return HostOther;
}

std::int16_t IdentifyRunningHost() {
    char path[256];
    ExecutablePath(path, sizeof path);
    const char* slash = std::strrchr(path, '\\');
    return IdentifyHost(slash == nullptr ? path : slash + 1);
}

}  // namespace aperlume
