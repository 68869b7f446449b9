// Access to the parameter block through the host's parameters handle, at the moment of use.
#include "host/movable_handle.h"
#include "host/plugin_context.h"

namespace aperlume {

FilterParameters* Parameters(const FilterRecord& record) {
    return static_cast<FilterParameters*>(HandleData(record.parameters));
}

FilterParameters* Parameters(const PluginContext& context) {
    if (context.filterRecord == nullptr) return nullptr;
    return Parameters(*context.filterRecord);
}

}  // namespace aperlume
