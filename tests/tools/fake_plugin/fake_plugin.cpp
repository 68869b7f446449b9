// A stand-in plug-in module for the tool's end-to-end tests: its start selector answers the result code
// named by the environment variable APERLUME_FAKE_RESULT, or, for "interrupt", raises SIGINT and then
// waits for the host's abort procedure to answer yes, as a long render would.
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/host_records.h"

extern "C" __attribute__((visibility("default"))) void PluginMain(std::int16_t selector, void* record,
                                                                   std::intptr_t*, std::int16_t* result) {
    *result = 0;
    if (selector != aperlume::kSelectorStart) return;
    auto* filterRecord = static_cast<aperlume::FilterRecord*>(record);
    filterRecord->inRect = filterRecord->outRect = filterRecord->maskRect = aperlume::Rect16{};
    const char* wanted = std::getenv("APERLUME_FAKE_RESULT");
    if (wanted == nullptr) return;
    if (std::strcmp(wanted, "interrupt") == 0) {
        std::raise(SIGINT);
        for (int poll = 0; poll < 1000000; ++poll)
            if (filterRecord->abortProc != nullptr && filterRecord->abortProc() != 0) {
                *result = -128;
                return;
            }
        return;  // never interrupted: the run succeeds and the test sees it
    }
    *result = static_cast<std::int16_t>(std::atoi(wanted));
}
