// The product's names and version: the property list, the terminology, the version record, the about
// box and the dialog's caption all read them here. The version itself is the project's version in the
// top CMakeLists.txt (project(... VERSION ...)), which CMake writes into base/product_version.h.
#pragma once

#include "base/product_version.h"

namespace aperlume {

inline constexpr char kProductName[] = "Aperlume";
inline constexpr char kLongName[] = "Veil of Lumen";
inline constexpr char kMakerHandle[] = "Tamsor";
inline constexpr char kCopyrightYears[] = "2025-2026";
inline constexpr char kModuleExtension[] = ".8bf";

}  // namespace aperlume
