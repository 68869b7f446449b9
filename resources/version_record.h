// The module's version record (resource VERSION 1): file and product version (the project's) for a 32-bit
// Windows dynamic-link library, with one Japanese (Unicode) string table and its translation entry.
#pragma once

#include <cstdint>
#include <vector>

namespace aperlume {

std::vector<std::uint8_t> BuildVersionRecord();

}  // namespace aperlume
