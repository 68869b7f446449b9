// The property list (resource PIPL 16000) by which a host files the filter in its menu, enables it for
// grayscale and RGB images of 8 and 16 bits, finds its entry point and links its scripting terminology.
#pragma once

#include <cstdint>
#include <vector>

namespace aperlume {

enum class ModuleArchitecture { X86, X64 };

// The architecture this code is compiled for: a 64-bit module also names its entry point under the
// key that 64-bit hosts look for.
inline constexpr ModuleArchitecture kBuildArchitecture =
    sizeof(void*) == 8 ? ModuleArchitecture::X64 : ModuleArchitecture::X86;

// 22 properties for a 32-bit module; 23 for a 64-bit one, which adds "8664" after "wx86".
std::vector<std::uint8_t> BuildPropertyList(ModuleArchitecture architecture);

}  // namespace aperlume
