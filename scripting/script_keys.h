// The settings as scripting descriptor keys, drawn from the settings table: the key of each field of the
// parameter block in the order the keys are written, and the conversions between the method and
// correction values and their enumerators. Shared by the plug-in's read and write and by hosts that
// build recorded actions.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "base/filter_parameters.h"
#include "host/host_records.h"

namespace aperlume {

// How a setting travels in a descriptor: flags travel as integers.
enum class ScriptValueKind { Integer, Method, Correction };

struct ScriptKey {
    DescriptorKeyID key = 0;
    ScriptValueKind kind = ScriptValueKind::Integer;
    std::int16_t FilterParameters::*field = nullptr;
};

constexpr ScriptValueKind ScriptKindOf(SettingKind kind) {
    switch (kind) {
        case SettingKind::Method:
            return ScriptValueKind::Method;
        case SettingKind::Correction:
            return ScriptValueKind::Correction;
        case SettingKind::Integer:
        case SettingKind::Flag:
            break;
    }
    return ScriptValueKind::Integer;
}

// The reserved slot has no key. Enumerated keys use their own key as the enumeration type.
inline constexpr std::array<ScriptKey, kSettings.size()> kScriptKeys = [] {
    std::array<ScriptKey, kSettings.size()> keys{};
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        keys[i] = {FourCC(kSettings[i].key), ScriptKindOf(kSettings[i].kind), kSettings[i].field};
    return keys;
}();

inline constexpr DescriptorKeyID kFocusKey = FourCC(SettingOf(&FilterParameters::focus).key);

// The enumerators of the method or the correction, indexed by the field's value.
constexpr std::span<const Enumerator> EnumeratorsOf(ScriptValueKind kind) {
    return kind == ScriptValueKind::Method ? SettingOf(&FilterParameters::method).enumerators
                                           : SettingOf(&FilterParameters::correction).enumerators;
}

// A method or correction value as its enumerator; values outside the enumeration are written as the
// first enumerator.
constexpr DescriptorEnumID EnumeratorForValue(ScriptValueKind kind, std::int16_t value) {
    const std::span<const Enumerator> enumerators = EnumeratorsOf(kind);
    const bool known = value >= 0 && static_cast<std::size_t>(value) < enumerators.size();
    return FourCC(enumerators[known ? static_cast<std::size_t>(value) : 0].code);
}

// An enumerator as a method or correction value; an enumerator of neither reads as 0.
constexpr std::int16_t ValueForEnumerator(ScriptValueKind kind, DescriptorEnumID enumerator) {
    const std::span<const Enumerator> enumerators = EnumeratorsOf(kind);
    for (std::size_t i = 0; i < enumerators.size(); ++i)
        if (FourCC(enumerators[i].code) == enumerator) return static_cast<std::int16_t>(i);
    return 0;
}

}  // namespace aperlume
