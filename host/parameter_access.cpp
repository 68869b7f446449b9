// Access to the parameter block through the host's parameters handle, at the moment of use.
#include "host/movable_handle.h"
#include "host/plugin_context.h"

namespace aperlume {

FilterParameters* Parameters(const FilterRecord& record) {
    // A block shorter than the settings (a host that stored or restored it short) would be read past its
    // end: it counts as no block.
    if (GetHandleSize(record.parameters) < static_cast<std::int32_t>(sizeof(FilterParameters))) return nullptr;
    return static_cast<FilterParameters*>(HandleData(record.parameters));
}

FilterParameters* Parameters(const PluginContext& context) {
    if (context.filterRecord == nullptr) return nullptr;
    return Parameters(*context.filterRecord);
}

}  // namespace aperlume
