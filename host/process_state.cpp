// Storage of the process-wide host kind and module instance.
#include "host/process_state.h"

namespace aperlume {
namespace {

// Set by the module's entry routine before any selector runs, which has nowhere else to put them: the
// host calls PluginMain with no context for the module as a whole.
std::int16_t hostKind = HostOther;
void* moduleInstance = nullptr;

}  // namespace

std::int16_t GetHostKind() { return hostKind; }
void SetHostKind(std::int16_t kind) { hostKind = kind; }
void* GetModuleInstance() { return moduleInstance; }
void SetModuleInstance(void* instance) { moduleInstance = instance; }

}  // namespace aperlume
