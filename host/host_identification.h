// Recognising the host by its executable's file name.
#pragma once

#include <cstdint>

namespace aperlume {

// The host kind for an executable's file name (the part after the last backslash): the whole name must
// match, case-sensitively.
std::int16_t IdentifyHost(const char* fileName);

// Reads the executable's path and returns the host kind of its file name.
std::int16_t IdentifyRunningHost();

}  // namespace aperlume
