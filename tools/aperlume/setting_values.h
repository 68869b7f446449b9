// One filter setting's value as the command line and the settings files write it: a whole number in
// the setting's range, or an enumerator's name (in any letter case, or its alias). The rotation is an
// angle and wraps: -15 is 345 and 360 is 0. A flag is 0 or 1, or a word people write for a switch:
// yes/no, on/off, true/false (in any letter case).
#pragma once

#include <cstdint>
#include <string>

#include "base/settings_table.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// Reads `text` as a value of `setting`; the message names the setting's --option and the bad text.
ToolStatus ParseSettingValue(const Setting& setting, const std::string& text, std::int16_t& value);

// True when `text` is a value a flag takes (a number 0 or 1, or one of its words).
bool IsFlagValue(const std::string& text);

// A value as the command line names it: an enumerator's name, or the number.
std::string SettingValueText(const Setting& setting, std::int16_t value);

// "a or b", or "one of a, b, c": the names an enumerated setting's value may take.
std::string EnumeratorChoices(const Setting& setting);

// A whole decimal number with an optional sign, nothing before or after it.
bool ParseWholeNumber(const std::string& text, std::int64_t& value);

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace aperlume::tool
