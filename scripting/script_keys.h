// The settings as scripting descriptor keys: the key of each field of the parameter block in the order
// the keys are written, and the conversions between the method and correction values and their
// enumerators. Shared by the plug-in's read and write and by hosts that build recorded actions.
#pragma once

#include <array>
#include <cstdint>

#include "base/filter_parameters.h"
#include "host/host_records.h"

namespace aperlume {

enum class ScriptValueKind { Integer, Method, Correction };

struct ScriptKey {
    DescriptorKeyID key;
    ScriptValueKind kind;
    std::int16_t FilterParameters::*field;
};

inline constexpr DescriptorKeyID kFocusKey = FourCC("Fcs ");

// The reserved slot has no key. Enumerated keys use their own key as the enumeration type.
inline constexpr std::array<ScriptKey, 11> kScriptKeys = {{
    {FourCC("Amnt"), ScriptValueKind::Integer, &FilterParameters::amount},
    {FourCC("srgh"), ScriptValueKind::Integer, &FilterParameters::brightness},
    {FourCC("Peak"), ScriptValueKind::Integer, &FilterParameters::vertices},
    {FourCC("Edg "), ScriptValueKind::Integer, &FilterParameters::edge},
    {FourCC("Rt  "), ScriptValueKind::Integer, &FilterParameters::ratio},
    {FourCC("Rtt "), ScriptValueKind::Integer, &FilterParameters::rotation},
    {FourCC("Soft"), ScriptValueKind::Integer, &FilterParameters::soft},
    {FourCC("Mthd"), ScriptValueKind::Method, &FilterParameters::method},
    {FourCC("Cmpn"), ScriptValueKind::Correction, &FilterParameters::correction},
    {FourCC("Dpth"), ScriptValueKind::Integer, &FilterParameters::depth},
    {kFocusKey, ScriptValueKind::Integer, &FilterParameters::focus},
}};

// The enumerators of the method and the correction, indexed by the field's value.
inline constexpr std::array<DescriptorEnumID, 3> kMethodEnumerators = {FourCC("MCov"), FourCC("MMC "),
                                                                      FourCC("MFFT")};
inline constexpr std::array<DescriptorEnumID, 2> kCorrectionEnumerators = {FourCC("CGmm"), FourCC("CExp")};

// A method or correction value as its enumerator; values outside the enumeration are written as the
// first enumerator.
constexpr DescriptorEnumID EnumeratorForValue(ScriptValueKind kind, std::int16_t value) {
    if (kind == ScriptValueKind::Method)
        return value >= 0 && value < 3 ? kMethodEnumerators[static_cast<std::size_t>(value)] : kMethodEnumerators[0];
    return value >= 0 && value < 2 ? kCorrectionEnumerators[static_cast<std::size_t>(value)]
                                   : kCorrectionEnumerators[0];
}

// An enumerator as a method or correction value; an enumerator of neither reads as 0.
constexpr std::int16_t ValueForEnumerator(ScriptValueKind kind, DescriptorEnumID enumerator) {
    if (kind == ScriptValueKind::Method) {
        for (std::size_t i = 0; i < kMethodEnumerators.size(); ++i)
            if (kMethodEnumerators[i] == enumerator) return static_cast<std::int16_t>(i);
        return 0;
    }
    for (std::size_t i = 0; i < kCorrectionEnumerators.size(); ++i)
        if (kCorrectionEnumerators[i] == enumerator) return static_cast<std::int16_t>(i);
    return 0;
}

}  // namespace aperlume
