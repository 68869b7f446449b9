// The scripting terminology (resource AETE 16000): one suite with the filter's one event, its eleven
// parameters and the method and correction enumerations. Its keys and codes are those the scripting
// descriptor uses.
#pragma once

#include <cstdint>
#include <vector>

namespace aperlume {

std::vector<std::uint8_t> BuildTerminology();

}  // namespace aperlume
