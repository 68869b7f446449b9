// Reading and writing settings files.
#include "tools/aperlume/settings_file.h"

#include <cstring>

#include "tools/aperlume/nearest_name.h"
#include "tools/aperlume/setting_values.h"

namespace aperlume::tool {
namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::array<const char*, kSettings.size()> Keys() {
    std::array<const char*, kSettings.size()> keys{};
    for (std::size_t i = 0; i < kSettings.size(); ++i) keys[i] = kSettings[i].option;
    return keys;
}

ToolStatus ParseLine(const std::string& line, FilterParameters& settings, SettingsGiven& given) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return ToolStatus::Failure("expected 'key = value', got " + Quoted(line));
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = Trimmed(line.substr(equals + 1));
    const auto keys = Keys();
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        if (key != keys[i]) continue;
        if (given[i]) return ToolStatus::Failure(Quoted(key) + " is given twice");
        std::int16_t number = 0;
        if (ToolStatus s = ParseSettingValue(kSettings[i], value, number); !s.ok()) return s;
        settings.*kSettings[i].field = number;
        given[i] = true;
        return ToolStatus::Success();
    }
    const std::string nearest = NearestName(key, keys);
    return ToolStatus::Failure("unknown setting " + Quoted(key) +
                               (nearest.empty() ? std::string() : " (did you mean " + nearest + "?)"));
}

}  // namespace

std::string SettingsFileText(const FilterParameters& settings) {
    std::string text = "# aperlume settings: key = value, as the options of the command line\n";
    for (const Setting& setting : kSettings)
        text += std::string(setting.option) + " = " + SettingValueText(setting, settings.*setting.field) + "\n";
    return text;
}

ToolStatus ParseSettingsFile(const std::string& text, const std::string& what, FilterParameters& settings,
                             SettingsGiven& given) {
    // A settings file is a few hundred bytes; a big one is not a settings file at all.
    constexpr std::size_t kLongest = 64 * 1024;
    if (text.size() > kLongest || text.find('\0') != std::string::npos)
        return ToolStatus::Failure(what + " is not a settings file");
    // Notepad and other Windows editors may start a UTF-8 file with a byte-order mark.
    const char* byteOrderMark = "\xEF\xBB\xBF";
    std::size_t start = text.rfind(byteOrderMark, 0) == 0 ? std::strlen(byteOrderMark) : 0;
    for (int number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string whole = text.substr(start, end - start);
        // No value holds a '#', so everything from one on is a comment.
        const std::string line = Trimmed(whole.substr(0, whole.find('#')));
        start = end + 1;
        if (line.empty()) continue;
        if (ToolStatus s = ParseLine(line, settings, given); !s.ok())
            return ToolStatus::Failure(what + " line " + std::to_string(number) + ": " + s.message);
    }
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
