// The module's entry routine: keeps the instance handle for dialogs and resources and identifies the
// host from its executable's name, on every call whatever the reason. The C runtime's start-up code
// calls DllMain once it has initialised; DllMain hands over to the exported DLLMain.
//
// Threads starting and ending in the process are not reported to the module: each report would run
// this code again under the loader lock (identifying the same host), for every thread the host or the
// render starts.
#include <windows.h>

#include "host/process_state.h"
#include "plugin/plugin_export.h"
#include "host/host_identification.h"

extern "C" APERLUME_EXPORT BOOL WINAPI DLLMain(HINSTANCE instance, DWORD reason, LPVOID) noexcept {
    if (reason == DLL_PROCESS_ATTACH) {
        aperlume::SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    aperlume::SetHostKind(aperlume::IdentifyRunningHost());
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return DLLMain(instance, reason, reserved);
}
