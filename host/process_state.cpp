// Storage of the process-wide host kind and module instance.
#include "host/process_state.h"

namespace aperlume {
namespace {

std::int16_t hostKind = HostOther;
void* moduleInstance = nullptr;

}  // namespace

std::int16_t GetHostKind() { return hostKind; }
void SetHostKind(std::int16_t kind) { hostKind = kind; }
void* GetModuleInstance() { return moduleInstance; }
void SetModuleInstance(void* instance) { moduleInstance = instance; }

}  // namespace aperlume
