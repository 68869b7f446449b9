// A settings file ("preset"): the eleven filter settings as "key = value" lines, the keys being the
// tool's option names and the values written as on the command line, so that a look can be saved with
// --save-settings and applied again with --settings. For example:
//
//   # aperlume settings
//   amount = 12
//   method = fft
//
// A '#' starts a comment, on a line of its own or after a value ("vertices = 6  # hex"); blank lines
// and a UTF-8 byte-order mark (which some Windows editors put first) are ignored. A flag takes yes/no,
// on/off or true/false as well as 1/0. A setting the file leaves out keeps the tool's default. An
// unknown key (with the nearest known one, if any is close), a key given twice or a bad value is
// refused with its line number.
#pragma once

#include <array>
#include <string>

#include "base/filter_parameters.h"
#include "base/settings_table.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// Which rows of the settings table a command line or a file named.
using SettingsGiven = std::array<bool, kSettings.size()>;

// The text of a settings file with every setting, in the table's order.
std::string SettingsFileText(const FilterParameters& settings);

// Reads a settings file's text into `settings`, marking in `given` the settings it names. `what` names
// the file in messages ("look.txt line 3: ...").
ToolStatus ParseSettingsFile(const std::string& text, const std::string& what, FilterParameters& settings,
                             SettingsGiven& given);

}  // namespace aperlume::tool
