// The settings table against itself: every slot of the block but the reserved one has exactly one row,
// the ids and names that hosts, the dialog and the command line look settings up by are unique, each kind
// has the controls and the range it needs, and every place where one reader parts from another says why.
#include "base/settings_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace aperlume {
namespace {

bool Within(std::int16_t value, SettingRange range) { return value >= range.minimum && value <= range.maximum; }

TEST(SettingsTable, EverySlotButTheReservedOneHasExactlyOneRow) {
    FilterParameters marked{};
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        std::int16_t& slot = marked.*kSettings[i].field;
        EXPECT_EQ(slot, 0) << kSettings[i].option << " shares its slot with an earlier row";
        slot = static_cast<std::int16_t>(i + 1);
    }
    std::int16_t slots[12];
    static_assert(sizeof slots == sizeof marked);
    std::memcpy(slots, &marked, sizeof slots);
    const std::size_t reserved = offsetof(FilterParameters, reserved) / sizeof(std::int16_t);
    for (std::size_t s = 0; s < 12; ++s) EXPECT_EQ(slots[s] == 0, s == reserved) << "slot " << s;
}

TEST(SettingsTable, KeysOptionsAndControlsAreUnique) {
    std::set<std::string> keys;
    std::set<std::string> options;
    std::set<std::int16_t> controls;
    auto control = [&](std::int16_t id, const char* owner) {
        if (id != 0) {
            EXPECT_TRUE(controls.insert(id).second) << owner << " reuses control " << id;
        }
    };
    for (const Setting& setting : kSettings) {
        EXPECT_TRUE(keys.insert(setting.key).second) << setting.key;
        EXPECT_TRUE(options.insert(setting.option).second) << setting.option;
        const SettingControls& c = setting.dialog;
        for (std::int16_t id : {c.label, c.slider, c.edit, c.check}) control(id, setting.option);
        std::set<std::string> codes;
        std::set<std::string> names;
        for (const Enumerator& e : setting.enumerators) {
            EXPECT_TRUE(codes.insert(e.code).second) << e.code;
            EXPECT_TRUE(names.insert(e.option).second) << e.option;
            if (e.optionAlias != nullptr) {
                EXPECT_TRUE(names.insert(e.optionAlias).second) << e.optionAlias;
            }
            control(e.radio, e.option);
        }
    }
}

TEST(SettingsTable, EachKindHasItsControlsAndRange) {
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE(setting.option);
        const SettingControls& c = setting.dialog;
        const bool enumerated = setting.kind == SettingKind::Method || setting.kind == SettingKind::Correction;
        EXPECT_EQ(c.slider != 0, setting.kind == SettingKind::Integer);
        EXPECT_EQ(c.edit != 0, c.slider != 0) << "a slider comes with its number box";
        EXPECT_EQ(c.check != 0, setting.kind == SettingKind::Flag);
        EXPECT_EQ(c.checkText != nullptr, c.check != 0);
        EXPECT_EQ(!setting.enumerators.empty(), enumerated);
        EXPECT_LT(setting.range.minimum, setting.range.maximum);
        if (setting.kind == SettingKind::Flag) {
            EXPECT_EQ(setting.range, (SettingRange{0, 1}));
        }
        if (enumerated) {
            const auto last = static_cast<std::int16_t>(setting.enumerators.size() - 1);
            EXPECT_EQ(setting.range, (SettingRange{0, last})) << "the values are the enumerators' positions";
        }
    }
}

TEST(SettingsTable, DefaultsLieInTheirRangesAndEveryDifferenceHasAReason) {
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE(setting.option);
        const bool listDiffers = ListRange(setting) != setting.range;
        EXPECT_EQ(listDiffers, setting.listRangeReason != nullptr);
        EXPECT_EQ(setting.listRange.has_value(), listDiffers) << "an override that changes nothing";
        const bool toolDiffers = ToolDefault(setting) != setting.storedDefault;
        EXPECT_EQ(toolDiffers, setting.toolDefaultReason != nullptr);
        EXPECT_EQ(setting.toolDefault.has_value(), toolDiffers) << "an override that changes nothing";
        EXPECT_TRUE(Within(ToolDefault(setting), setting.range)) << "the tool would refuse its own default";
        // A stored default the dialog would clamp is one the tool must not send.
        EXPECT_TRUE(Within(setting.storedDefault, setting.range) || toolDiffers);
        EXPECT_EQ(kDefaultParameters.*setting.field, setting.storedDefault);
    }
}

}  // namespace
}  // namespace aperlume
