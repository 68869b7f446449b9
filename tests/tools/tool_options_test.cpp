// The aperlume command line: every setting reaches its slot, every range is enforced at both ends, and
// wrong command lines are refused with a message that names the culprit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/aperlume/tool_options.h"

namespace aperlume::tool {
namespace {

ToolStatus Parse(std::vector<std::string> arguments, ToolOptions& options) {
    return ParseToolOptions(arguments, options);
}

ToolOptions ParseOk(std::vector<std::string> arguments) {
    ToolOptions options;
    ToolStatus status = Parse(arguments, options);
    EXPECT_TRUE(status.ok()) << status.message;
    return options;
}

std::string ParseError(std::vector<std::string> arguments) {
    ToolOptions options;
    ToolStatus status = Parse(arguments, options);
    EXPECT_FALSE(status.ok());
    return status.message;
}

TEST(ToolOptions, DefaultsAreThePluginDefaultsWithADiscAperture) {
    const ToolOptions options = ParseOk({"in.png", "out.png"});
    const FilterParameters& s = options.settings;
    EXPECT_EQ(s.amount, 5);
    EXPECT_EQ(s.brightness, 25);
    EXPECT_EQ(s.vertices, 1);
    EXPECT_EQ(s.edge, 0);
    EXPECT_EQ(s.ratio, 0);
    EXPECT_EQ(s.rotation, 0);
    EXPECT_EQ(s.soft, 0);
    EXPECT_EQ(s.reserved, 0);
    EXPECT_EQ(s.method, 0);
    EXPECT_EQ(s.correction, 0);
    EXPECT_EQ(s.depth, 0);
    EXPECT_EQ(s.focus, 0);
    EXPECT_EQ(options.input, "in.png");
    EXPECT_EQ(options.output, "out.png");
    EXPECT_FALSE(options.verbose);
    EXPECT_FALSE(options.progress);
}

TEST(ToolOptions, EverySettingReachesItsOwnSlot) {
    const ToolOptions options =
        ParseOk({"--amount", "17", "--brightness=33", "--vertices", "6", "--edge", "40", "--ratio", "-55",
                 "--rotation", "359", "--soft", "--method", "fft", "--correction", "log", "--depth-map", "--focus",
                 "200", "in.png", "out.png"});
    const FilterParameters& s = options.settings;
    EXPECT_EQ(s.amount, 17);
    EXPECT_EQ(s.brightness, 33);
    EXPECT_EQ(s.vertices, 6);
    EXPECT_EQ(s.edge, 40);
    EXPECT_EQ(s.ratio, -55);
    EXPECT_EQ(s.rotation, 359);
    EXPECT_EQ(s.soft, 1);
    EXPECT_EQ(s.method, 2);
    EXPECT_EQ(s.correction, 1);
    EXPECT_EQ(s.depth, 1);
    EXPECT_EQ(s.focus, 200);
    EXPECT_EQ(s.reserved, 0);
}

TEST(ToolOptions, MethodAndCorrectionNamesMapToTheirValues) {
    EXPECT_EQ(ParseOk({"--method", "normal", "a.png", "b.png"}).settings.method, 0);
    EXPECT_EQ(ParseOk({"--method", "mc", "a.png", "b.png"}).settings.method, 1);
    EXPECT_EQ(ParseOk({"--method=fft", "a.png", "b.png"}).settings.method, 2);
    EXPECT_EQ(ParseOk({"--correction", "gamma", "a.png", "b.png"}).settings.correction, 0);
    EXPECT_EQ(ParseOk({"--correction=log", "a.png", "b.png"}).settings.correction, 1);
    EXPECT_NE(ParseError({"--method", "MC2", "a.png", "b.png"}).find("normal, mc, fft"), std::string::npos);
    EXPECT_NE(ParseError({"--correction", "linear", "a.png", "b.png"}).find("'linear'"), std::string::npos);
}

TEST(ToolOptions, FlagsTakeAnOptionalZeroOrOne) {
    EXPECT_EQ(ParseOk({"--soft", "a.png", "b.png"}).settings.soft, 1);
    EXPECT_EQ(ParseOk({"--soft", "0", "a.png", "b.png"}).settings.soft, 0);
    EXPECT_EQ(ParseOk({"--soft", "1", "a.png", "b.png"}).settings.soft, 1);
    EXPECT_EQ(ParseOk({"--soft=0", "a.png", "b.png"}).settings.soft, 0);
    EXPECT_EQ(ParseOk({"--depth-map=1", "a.png", "b.png"}).settings.depth, 1);
    // A flag last before the files does not swallow the input.
    const ToolOptions options = ParseOk({"--depth-map", "a.png", "b.png"});
    EXPECT_EQ(options.settings.depth, 1);
    EXPECT_EQ(options.input, "a.png");
    EXPECT_NE(ParseError({"--soft=2", "a.png", "b.png"}).find("between 0 and 1"), std::string::npos);
}

TEST(ToolOptions, EveryRangeIsEnforcedAtBothEnds) {
    for (const SettingSpec& spec : SettingSpecs()) {
        if (spec.kind != SettingKind::Integer) continue;
        const std::string option = std::string("--") + spec.option;
        SCOPED_TRACE(option);
        ToolOptions low = ParseOk({option, std::to_string(spec.minimum), "a.png", "b.png"});
        EXPECT_EQ(low.settings.*spec.field, spec.minimum);
        ToolOptions high = ParseOk({option, std::to_string(spec.maximum), "a.png", "b.png"});
        EXPECT_EQ(high.settings.*spec.field, spec.maximum);
        const std::string below = ParseError({option, std::to_string(spec.minimum - 1), "a.png", "b.png"});
        EXPECT_NE(below.find(option), std::string::npos) << below;
        EXPECT_NE(below.find("between " + std::to_string(spec.minimum) + " and " + std::to_string(spec.maximum)),
                  std::string::npos)
            << below;
        ParseError({option, std::to_string(spec.maximum + 1), "a.png", "b.png"});
    }
}

TEST(ToolOptions, RangesAreThoseOfThePlugin) {
    struct Expected {
        const char* option;
        int minimum, maximum;
    };
    // Brightness starts at 1: 0 cannot be undone by the inverse correction.
    const Expected expected[] = {{"amount", 0, 100},   {"brightness", 1, 100}, {"vertices", 1, 8},
                                 {"edge", 0, 100},     {"ratio", -100, 100},   {"rotation", 0, 359},
                                 {"focus", 0, 255}};
    for (const Expected& e : expected) {
        bool found = false;
        for (const SettingSpec& spec : SettingSpecs())
            if (std::string(spec.option) == e.option) {
                found = true;
                EXPECT_EQ(spec.minimum, e.minimum) << e.option;
                EXPECT_EQ(spec.maximum, e.maximum) << e.option;
            }
        EXPECT_TRUE(found) << e.option;
    }
    EXPECT_EQ(SettingSpecs().size(), 11u);
}

TEST(ToolOptions, NumbersMustBeWholeAndNothingElse) {
    for (const char* bad : {"", "abc", "5x", "5.0", "0x10", " 5", "99999999999999999999"}) {
        SCOPED_TRACE(bad);
        ParseError({"--amount", bad, "a.png", "b.png"});
    }
    EXPECT_EQ(ParseOk({"--amount", "+7", "a.png", "b.png"}).settings.amount, 7);
    EXPECT_EQ(ParseOk({"--ratio=-100", "a.png", "b.png"}).settings.ratio, -100);
    // A huge value is out of range, not wrapped into the 16-bit slot.
    EXPECT_NE(ParseError({"--amount", "65541", "a.png", "b.png"}).find("between"), std::string::npos);
}

TEST(ToolOptions, WrongCommandLinesNameTheCulprit) {
    EXPECT_NE(ParseError({"--blur", "3", "a.png", "b.png"}).find("unknown option '--blur'"), std::string::npos);
    EXPECT_NE(ParseError({"-x", "a.png", "b.png"}).find("unknown option '-x'"), std::string::npos);
    EXPECT_NE(ParseError({"a.png", "b.png", "--amount"}).find("--amount needs a value"), std::string::npos);
    EXPECT_NE(ParseError({"a.png", "b.png", "--selection"}).find("--selection needs a value"), std::string::npos);
    EXPECT_NE(ParseError({"a.png"}).find("missing OUTPUT"), std::string::npos);
    EXPECT_NE(ParseError({}).find("missing INPUT and OUTPUT"), std::string::npos);
    EXPECT_NE(ParseError({"a.png", "b.png", "c.png"}).find("too many"), std::string::npos);
    EXPECT_NE(ParseError({"--sample", "s.png", "a.png"}).find("takes no INPUT"), std::string::npos);
    EXPECT_NE(ParseError({"a.png", "b.jpg"}).find("must end in .png"), std::string::npos);
    EXPECT_NE(ParseError({"--sample", "x.png", "--write-sample", "x.png"}).find("same file"), std::string::npos);
}

TEST(ToolOptions, SampleModesAndSwitches) {
    ToolOptions sample = ParseOk({"--sample", "out/s.PNG", "--write-sample=out/raw.png", "-v", "--progress"});
    EXPECT_TRUE(sample.RendersSample());
    EXPECT_EQ(sample.sampleOutput, "out/s.PNG");
    EXPECT_EQ(sample.sampleSource, "out/raw.png");
    EXPECT_TRUE(sample.verbose);
    EXPECT_TRUE(sample.progress);
    ToolOptions sourceOnly = ParseOk({"--write-sample", "raw.png"});
    EXPECT_FALSE(sourceOnly.Renders());
    ToolOptions plugin = ParseOk({"--plugin", "/x/p.so", "--selection", "m.png", "--", "-in.png", "out.png"});
    EXPECT_EQ(plugin.plugin, "/x/p.so");
    EXPECT_EQ(plugin.selection, "m.png");
    EXPECT_EQ(plugin.input, "-in.png");  // after "--" a name may start with a dash
    EXPECT_TRUE(ParseOk({"--help"}).help);
    EXPECT_TRUE(ParseOk({"-h", "--amount", "3"}).help);
}

TEST(ToolOptions, HelpDocumentsEveryOptionWithItsRangeAndDefault) {
    const std::string usage = UsageText();
    for (const SettingSpec& spec : SettingSpecs()) {
        EXPECT_NE(usage.find(std::string("--") + spec.option), std::string::npos) << spec.option;
        if (spec.kind == SettingKind::Integer) {
            const std::string range = std::to_string(spec.minimum) + ".." + std::to_string(spec.maximum) +
                                      ", default " + std::to_string(spec.defaultValue);
            EXPECT_NE(usage.find(range), std::string::npos) << range;
        }
    }
    for (const char* option : {"--selection", "--sample", "--write-sample", "--plugin", "--progress", "--verbose",
                               "--help", "normal", "mc", "fft", "gamma", "log"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(ToolOptions, SettingsAreDescribedInWords) {
    FilterParameters settings = ToolDefaultSettings();
    settings.method = 1;
    settings.correction = 1;
    settings.ratio = -3;
    EXPECT_EQ(DescribeSettings(settings),
              "amount 5, brightness 25, vertices 1, edge 0, ratio -3, rotation 0, soft 0, method mc, "
              "correction log, depth-map 0, focus 0");
    settings.method = 7;  // a value no name belongs to is shown as a number
    EXPECT_NE(DescribeSettings(settings).find("method 7"), std::string::npos);
}

}  // namespace
}  // namespace aperlume::tool
