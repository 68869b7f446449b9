// Process-wide values set by the module's entry point before any selector runs.
#pragma once

#include <cstdint>

namespace aperlume {

enum HostKind : std::int16_t {
    HostOther = 0,
    HostFireworks = 1,
    HostPhotoshop = 3,
    HostPremiere = 8,
    HostAfterEffects = 11,
};

std::int16_t GetHostKind();
void SetHostKind(std::int16_t kind);

// The module's instance handle (an HINSTANCE on Windows), from which dialogs and strings are loaded.
void* GetModuleInstance();
void SetModuleInstance(void* instance);

}  // namespace aperlume
