// The exported entry point: the one door through which the host calls the plug-in. Nothing thrown
// inside may cross it (the host's frames cannot be unwound): out of memory becomes -108, anything else
// the bad-parameters code, and a failed start or continue still ends the host's requests.
#include <cstdint>
#include <new>

#include "host/host_records.h"
#include "plugin/dispatch.h"
#include "plugin/filter_run.h"
#include "plugin/plugin_export.h"
#include "base/result.h"

namespace aperlume {
namespace {

void Launder(std::int16_t selector, void* record, std::int16_t* result, std::int16_t code) noexcept {
    if (result != nullptr) *result = code;
    if ((selector == kSelectorStart || selector == kSelectorContinue) && record != nullptr)
        EndRequests(*static_cast<FilterRecord*>(record));
}

}  // namespace
}  // namespace aperlume

extern "C" APERLUME_EXPORT void PluginMain(std::int16_t selector, void* record, std::intptr_t* data,
                                           std::int16_t* result) noexcept {
    using namespace aperlume;
    try {
        DispatchSelector(selector, record, data, result);
    } catch (const std::bad_alloc&) {
        Launder(selector, record, result, kOutOfMemory);
    } catch (...) {
        Launder(selector, record, result, kBadParameters);
    }
}
