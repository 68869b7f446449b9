// How many threads a Windows process can run at once, and where its helper threads go, from the machine's
// processor groups (at most 64 processors each; a machine with more has several). Portable arithmetic,
// so that the rule is tested on every platform; the Windows calls that feed it are in
// parallel_for_win32.cpp.
#pragma once

#include <cstdint>
#include <span>

namespace aperlume {

// `groupProcessors`: the active processors of each group; `primary`: the group the process starts its
// threads in; `affinityProcessors`: the processors of that group the process may use. A process that has
// been kept to part of its group (an affinity set by the user or a job) uses that part only. Otherwise
// every group serves it, each helper thread placed by HelperGroup. At least 1.
std::int32_t UsableProcessors(std::span<const std::int32_t> groupProcessors, std::int32_t primary,
                              std::int32_t affinityProcessors);

// The group for helper `helper` (0-based; the calling thread runs in the primary group): the primary
// group's other processors first, then the other groups in turn, each filled before the next; past all of
// them, the primary group.
std::int32_t HelperGroup(std::int32_t helper, std::span<const std::int32_t> groupProcessors, std::int32_t primary);

}  // namespace aperlume
