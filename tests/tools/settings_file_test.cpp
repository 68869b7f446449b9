// Settings files: every value of every setting survives the trip through the text, what a person writes
// by hand is read as meant, and a wrong file is refused with the line at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tools/aperlume/settings_file.h"
#include "tools/aperlume/tool_options.h"

namespace aperlume::tool {
namespace {

TEST(SettingsFile, EveryValueOfEverySettingRoundTrips) {
    for (const Setting& setting : kSettings) {
        for (std::int16_t value = setting.range.minimum; value <= setting.range.maximum; ++value) {
            FilterParameters written = ToolDefaultSettings();
            written.*setting.field = value;
            FilterParameters read{};
            SettingsGiven given{};
            ASSERT_TRUE(ParseSettingsFile(SettingsFileText(written), "look.txt", read, given).ok())
                << setting.option << " " << value;
            ASSERT_EQ(DescribeSettings(read), DescribeSettings(written));
            ASSERT_EQ(std::count(given.begin(), given.end(), true), static_cast<std::ptrdiff_t>(kSettings.size()));
        }
    }
}

TEST(SettingsFile, ReadsWhatAPersonWritesAndRefusesWhatIsWrong) {
    FilterParameters read = ToolDefaultSettings();
    SettingsGiven given{};
    // A byte-order mark, comments after values, flags in words.
    ASSERT_TRUE(ParseSettingsFile("\xEF\xBB\xBF# night lights\r\n\r\n  method=FFT \r\n\tvertices = 6  # hex\n"
                                  "soft = Yes#\ndepth-map=off\n", "a.txt", read, given).ok());
    FilterParameters expected = ToolDefaultSettings();
    expected.method = 2;
    expected.vertices = 6;
    expected.soft = 1;
    EXPECT_EQ(DescribeSettings(read), DescribeSettings(expected));
    EXPECT_EQ(std::count(given.begin(), given.end(), true), 4);

    const struct {
        std::string text;
        const char* message;
    } wrong[] = {
        {"amount 5\n", "a.txt line 1: expected 'key = value', got 'amount 5'"},
        {"amount = 5\n# again\namount = 6\n", "a.txt line 3: 'amount' is given twice"},
        {"\nratio = 101\n", "a.txt line 2: --ratio must be between -100 and 100 (got 101)"},
        {"focs = 3\n", "a.txt line 1: unknown setting 'focs' (did you mean focus?)"},
        {"colour = red\n", "a.txt line 1: unknown setting 'colour'"},
        {"soft = maybe # or not\n", "a.txt line 1: --soft must be 0 or 1 (or yes/no, on/off, true/false; got 'maybe')"},
        {"amount = # later\n", "a.txt line 1: --amount needs a whole number, not ''"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" "amount = 5\n", "a.txt line 1: unknown setting '\xEF\xBB\xBF" "amount'"},
        {std::string("amount = 5\n\0", 12), "a.txt is not a settings file"},
    };
    for (const auto& c : wrong) {
        SettingsGiven none{};
        EXPECT_EQ(ParseSettingsFile(c.text, "a.txt", read, none).message, c.message);
    }
}

}  // namespace
}  // namespace aperlume::tool
