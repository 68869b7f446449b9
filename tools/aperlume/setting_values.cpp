// Reading and writing one setting's value.
#include "tools/aperlume/setting_values.h"

#include <charconv>

namespace aperlume::tool {
namespace {

bool SameLetters(const std::string& text, const char* name) {
    std::size_t i = 0;
    for (; i < text.size() && name[i] != '\0'; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(text[i]) != lower(name[i])) return false;
    }
    return i == text.size() && name[i] == '\0';
}

const Enumerator* EnumeratorNamed(const Setting& setting, const std::string& text) {
    for (const Enumerator& enumerator : setting.enumerators)
        if (SameLetters(text, enumerator.option) ||
            (enumerator.optionAlias != nullptr && SameLetters(text, enumerator.optionAlias)))
            return &enumerator;
    return nullptr;
}

// The words for a flag's two values: a settings file is written by hand, and "soft = yes" reads as meant.
constexpr const char* kFlagWords[2][3] = {{"no", "off", "false"}, {"yes", "on", "true"}};

// 0 or 1 for a flag's word; -1 for anything else.
int FlagWordValue(const std::string& text) {
    for (int value = 0; value < 2; ++value)
        for (const char* word : kFlagWords[value])
            if (SameLetters(text, word)) return value;
    return -1;
}

// An angle names the same rotation a whole turn either way, so any whole number is taken.
bool IsAngle(const Setting& setting) { return setting.field == &FilterParameters::rotation; }

}  // namespace

bool ParseWholeNumber(const std::string& text, std::int64_t& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return false;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

bool IsFlagValue(const std::string& text) { return text == "0" || text == "1" || FlagWordValue(text) >= 0; }

std::string EnumeratorChoices(const Setting& setting) {
    const std::span<const Enumerator> names = setting.enumerators;
    if (names.size() == 2) return std::string(names[0].option) + " or " + names[1].option;
    std::string text = "one of ";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + std::string(names[i].option);
    return text;
}

std::string SettingValueText(const Setting& setting, std::int16_t value) {
    if (value >= 0 && static_cast<std::size_t>(value) < setting.enumerators.size())
        return setting.enumerators[static_cast<std::size_t>(value)].option;
    return std::to_string(value);
}

ToolStatus ParseSettingValue(const Setting& setting, const std::string& text, std::int16_t& value) {
    const std::string option = std::string("--") + setting.option;
    if (!setting.enumerators.empty()) {
        const Enumerator* named = EnumeratorNamed(setting, text);
        if (named == nullptr)
            return ToolStatus::Failure(option + " must be " + EnumeratorChoices(setting) + " (got " + Quoted(text) + ")");
        value = static_cast<std::int16_t>(named - setting.enumerators.data());
        return ToolStatus::Success();
    }
    const bool flag = setting.kind == SettingKind::Flag;
    if (const int word = flag ? FlagWordValue(text) : -1; word >= 0) {
        value = static_cast<std::int16_t>(word);
        return ToolStatus::Success();
    }
    std::int64_t number = 0;
    const bool whole = ParseWholeNumber(text, number);
    if (flag && (!whole || number < 0 || number > 1))
        return ToolStatus::Failure(option + " must be 0 or 1 (or yes/no, on/off, true/false; got " + Quoted(text) +
                                   ")");
    if (!whole) return ToolStatus::Failure(option + " needs a whole number, not " + Quoted(text));
    const SettingRange range = setting.range;
    if (IsAngle(setting)) {
        const std::int64_t turn = std::int64_t{range.maximum} + 1;
        number = (number % turn + turn) % turn;
    }
    if (number < range.minimum || number > range.maximum)
        return ToolStatus::Failure(option + " must be between " + std::to_string(range.minimum) + " and " +
                                   std::to_string(range.maximum) + " (got " + text + ")");
    value = static_cast<std::int16_t>(number);
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
