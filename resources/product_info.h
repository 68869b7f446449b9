// The product's names and version, shared by the version record and the about box.
#pragma once

#include <cstdint>

namespace aperlume {

inline constexpr char kProductName[] = "Aperlume";
inline constexpr char kLongName[] = "Veil of Lumen";
inline constexpr char kMakerHandle[] = "Tamsor";
inline constexpr char kCopyrightYears[] = "2025-2026";
inline constexpr char kLegalCopyright[] = "Copyright (C) 2025-2026 Tamsor";
inline constexpr char kModuleFileName[] = "Aperlume.8bf";

inline constexpr char kVersionText[] = "0.13.5";
inline constexpr std::uint16_t kVersionMajor = 0;
inline constexpr std::uint16_t kVersionMinor = 13;
inline constexpr std::uint16_t kVersionPatch = 5;
inline constexpr std::uint16_t kVersionBuild = 0;

}  // namespace aperlume
