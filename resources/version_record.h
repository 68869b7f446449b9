// The module's version record (resource VERSION 1): file and product version 0.13.5.0 for a 32-bit
// Windows dynamic-link library, with one Japanese (Unicode) string table and its translation entry.
#pragma once

#include <cstdint>
#include <vector>

namespace aperlume {

std::vector<std::uint8_t> BuildVersionRecord();

}  // namespace aperlume
