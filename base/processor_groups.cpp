// Processor groups to thread counts and helper placement (base/processor_groups.h).
#include "base/processor_groups.h"

namespace aperlume {

std::int32_t UsableProcessors(std::span<const std::int32_t> groupProcessors, std::int32_t primary,
                              std::int32_t affinityProcessors) {
    if (primary < 0 || static_cast<std::size_t>(primary) >= groupProcessors.size()) return 1;
    if (affinityProcessors < groupProcessors[static_cast<std::size_t>(primary)])
        return affinityProcessors < 1 ? 1 : affinityProcessors;
    std::int64_t total = 0;
    for (const std::int32_t processors : groupProcessors) total += processors > 0 ? processors : 0;
    return total < 1 ? 1 : (total > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(total));
}

std::int32_t HelperGroup(std::int32_t helper, std::span<const std::int32_t> groupProcessors, std::int32_t primary) {
    if (primary < 0 || static_cast<std::size_t>(primary) >= groupProcessors.size()) return primary;
    std::int64_t left = helper;
    // The calling thread takes one processor of the primary group.
    left -= groupProcessors[static_cast<std::size_t>(primary)] - 1;
    if (left < 0) return primary;
    for (std::size_t group = 0; group < groupProcessors.size(); ++group) {
        if (static_cast<std::int32_t>(group) == primary) continue;
        left -= groupProcessors[group] > 0 ? groupProcessors[group] : 0;
        if (left < 0) return static_cast<std::int32_t>(group);
    }
    return primary;
}

}  // namespace aperlume
