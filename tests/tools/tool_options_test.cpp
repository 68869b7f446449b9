// The aperlume command line: every setting reaches its slot, every range is enforced at both ends, and
// wrong command lines are refused with a message that names the culprit.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/aperlume/file_roles.h"
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

TEST(ToolOptions, DefaultsAreThePluginDefaultsSaveWhereTheTableGivesTheToolItsOwn) {
    const ToolOptions options = ParseOk({"in.png", "out.png"});
    for (const Setting& setting : kSettings)
        EXPECT_EQ(options.settings.*setting.field, ToolDefault(setting)) << setting.option;
    EXPECT_EQ(options.settings.vertices, 1) << "a disc, not the block's empty aperture";
    EXPECT_EQ(options.settings.reserved, kDefaultParameters.reserved);
    EXPECT_EQ(options.input, "in.png");
    EXPECT_EQ(options.output, "out.png");
    EXPECT_FALSE(options.verbose);
    EXPECT_FALSE(options.progress);
}

TEST(ToolOptions, EverySettingReachesItsOwnSlotAndNoOther) {
    const FilterParameters defaults = ToolDefaultSettings();
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE(setting.option);
        // A value other than the default, as the command line writes it.
        const std::int16_t fallback = ToolDefault(setting);
        const std::int16_t other = fallback == setting.range.maximum ? setting.range.minimum : setting.range.maximum;
        const std::string text = setting.enumerators.empty() ? std::to_string(other)
                                                             : setting.enumerators[static_cast<std::size_t>(other)].option;
        FilterParameters parsed = ParseOk({std::string("--") + setting.option + "=" + text, "a.png", "b.png"}).settings;
        EXPECT_EQ(parsed.*setting.field, other);
        parsed.*setting.field = fallback;
        EXPECT_EQ(std::memcmp(&parsed, &defaults, sizeof parsed), 0) << "another slot changed";
    }
}

TEST(ToolOptions, EveryEnumeratorIsNamedByItsOptionAndAlias) {
    for (const Setting& setting : kSettings)
        for (std::size_t i = 0; i < setting.enumerators.size(); ++i)
            for (const char* name : {setting.enumerators[i].option, setting.enumerators[i].optionAlias}) {
                if (name == nullptr) continue;
                SCOPED_TRACE(name);
                const ToolOptions options = ParseOk({std::string("--") + setting.option, name, "a.png", "b.png"});
                EXPECT_EQ(options.settings.*setting.field, static_cast<std::int16_t>(i));
            }
    EXPECT_NE(ParseError({"--method", "MC2", "a.png", "b.png"}).find("one of normal, mc, fft"), std::string::npos);
    EXPECT_NE(ParseError({"--correction", "linear", "a.png", "b.png"}).find("gamma or log (got 'linear')"),
              std::string::npos);
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
    EXPECT_NE(ParseError({"--soft=2", "a.png", "b.png"}).find("--soft must be 0 or 1 (or yes/no"), std::string::npos);
    // And the words people write for a switch, following or after '=' (settings_file_test has them all).
    EXPECT_EQ(ParseOk({"--soft", "Yes", "a.png", "b.png"}).settings.soft, 1);
    EXPECT_EQ(ParseOk({"--depth-map", "--depth-map=OFF", "a.png", "b.png"}).settings.depth, 0);
}

TEST(ToolOptions, BackgroundIsWhiteBlackOrHexadecimal) {
    const std::pair<const char*, RgbColour> colours[] = {
        {"white", {255, 255, 255}}, {"Black", {0, 0, 0}}, {"#FF8000", {255, 128, 0}}, {"0a1b2c", {10, 27, 44}}};
    for (const auto& [text, colour] : colours)
        EXPECT_EQ(ParseOk({"--background", text, "a.png", "b.jpg"}).background, colour) << text;
    for (const char* bad : {"red", "#FFF", "#FF80001", "#GG0000", "##FF800", "#-F8000", ""})
        EXPECT_NE(ParseError({"--background", bad, "a.png", "b.jpg"}).find("--background must be white, black or"),
                  std::string::npos) << bad;
    EXPECT_NE(ParseError({"--background"}).find("the shell reads # as a comment"), std::string::npos);
}

TEST(ToolOptions, EveryRangeIsEnforcedAtBothEnds) {
    for (const Setting& setting : kSettings) {
        // The rotation wraps around instead (ForgivingInput).
        if (setting.kind != SettingKind::Integer || setting.field == &FilterParameters::rotation) continue;
        const std::string option = std::string("--") + setting.option;
        const SettingRange range = setting.range;
        SCOPED_TRACE(option);
        ToolOptions low = ParseOk({option, std::to_string(range.minimum), "a.png", "b.png"});
        EXPECT_EQ(low.settings.*setting.field, range.minimum);
        ToolOptions high = ParseOk({option, std::to_string(range.maximum), "a.png", "b.png"});
        EXPECT_EQ(high.settings.*setting.field, range.maximum);
        const std::string below = ParseError({option, std::to_string(range.minimum - 1), "a.png", "b.png"});
        EXPECT_NE(below.find(option), std::string::npos) << below;
        EXPECT_NE(below.find("between " + std::to_string(range.minimum) + " and " + std::to_string(range.maximum)),
                  std::string::npos)
            << below;
        ParseError({option, std::to_string(range.maximum + 1), "a.png", "b.png"});
    }
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
    EXPECT_NE(ParseError({"--output-dir", "o"}).find("needs at least one INPUT"), std::string::npos);
    EXPECT_NE(ParseError({"--output-dir", "o", "a.png", ""}).find("an INPUT file name is empty"), std::string::npos);
    EXPECT_NE(ParseError({"--suffix", "x", "a.png", "b.png"}).find("--suffix names the outputs of --output-dir"),
              std::string::npos);
    EXPECT_NE(ParseError({"--output-dir", "o", "--format", "gif", "a.png"}).find("--format names no format"),
              std::string::npos);
    EXPECT_NE(ParseError({"--output-dir", "o", "--suffix", "x/y", "a.png"}).find("folder separator"), std::string::npos);
    EXPECT_NE(ParseError({"--output-dir", "o", "--sample", "s.png"}).find("do not go together"), std::string::npos);
    EXPECT_NE(ParseError({"--help=1"}).find("--help takes no value"), std::string::npos);
    EXPECT_NE(ParseError({"a.png"}).find("missing OUTPUT"), std::string::npos);
    EXPECT_NE(ParseError({}).find("missing INPUT and OUTPUT"), std::string::npos);
    EXPECT_NE(ParseError({"a.png", "b.png", "c.png"}).find("too many"), std::string::npos);
    EXPECT_NE(ParseError({"--sample", "s.png", "a.png"}).find("takes no INPUT"), std::string::npos);
    // An empty name is never a request for something else.
    EXPECT_EQ(ParseError({"", "b.png"}), "the INPUT file name is empty");
    EXPECT_EQ(ParseError({"a.png", ""}), "the OUTPUT file name is empty");
    for (const char* option : {"--selection", "--plugin", "--sample", "--write-sample"}) {
        EXPECT_EQ(ParseError({option, "", "a.png", "b.png"}), std::string(option) + " needs a file name");
        EXPECT_EQ(ParseError({std::string(option) + "=", "a.png", "b.png"}), std::string(option) + " needs a file name");
    }
}

// What a person types is read as meant, and a slip gets the option it most likely meant.
TEST(ToolOptions, ForgivingInput) {
    const auto method = &FilterParameters::method, rotation = &FilterParameters::rotation;
    const struct {
        std::vector<std::string> arguments;
        std::int16_t FilterParameters::*field;
        std::int16_t value;
    } read[] = {
        {{"--method", "FFT"}, method, 2},   {{"--method=Mc"}, method, 1},     {{"--method", "DIRECT"}, method, 0},
        {{"--correction", "LOG"}, &FilterParameters::correction, 1},        {{"--rotation", "-15"}, rotation, 345},
        {{"--rotation", "360"}, rotation, 0}, {{"--rotation=-720"}, rotation, 0}, {{"--rotation", "1000"}, rotation, 280},
    };
    for (const auto& c : read) {
        std::vector<std::string> arguments = c.arguments;
        SCOPED_TRACE(arguments.back());
        arguments.insert(arguments.end(), {"a.png", "b.png"});
        EXPECT_EQ(ParseOk(arguments).settings.*c.field, c.value);
    }
    const struct {
        const char* argument;
        const char* hint;
    } slips[] = {{"--rotaton", "(did you mean --rotation?)"}, {"--rot", "(did you mean --rotation?)"},
                 {"--outputdir", "(did you mean --output-dir?)"}, {"--depthmap=1", "(did you mean --depth-map?)"},
                 {"--Amount", "(did you mean --amount?)"},     {"--blur", "(see --help)"}};
    for (const auto& c : slips) {
        const std::string message = ParseError({c.argument, "3", "a.png", "b.png"});
        EXPECT_NE(message.find(std::string("unknown option '") + c.argument + "' " + c.hint), std::string::npos) << message;
    }
}

TEST(ToolOptions, AnOutputsExtensionNamesItsFormat) {
    for (const char* name : {"b.png", "b.PNG", "b.jpg", "b.Jpeg", "b.tif", "x.d/b.TIFF"}) {
        EXPECT_EQ(ParseOk({"a.png", name}).output, name);
        EXPECT_EQ(ParseOk({"--sample", name, "--write-sample", name}).sampleSource, name);
    }
    for (const char* name : {"b.gif", "b", "b.png.bak", "x.png/b", "b.jpe"}) {
        const std::string expected = "'" + std::string(name) + "': the output's extension names its format";
        EXPECT_NE(ParseError({"a.png", name}).find(expected), std::string::npos) << name;
        EXPECT_NE(ParseError({"--sample", name}).find(expected), std::string::npos) << name;
        EXPECT_NE(ParseError({"--sample", "s.png", "--write-sample", name}).find(expected), std::string::npos) << name;
    }
    // The input is told by its content, whatever its name.
    EXPECT_EQ(ParseOk({"a.gif", "b.png"}).input, "a.gif");
}

TEST(ToolOptions, QualityAndStrip) {
    const ToolOptions plain = ParseOk({"a.png", "b.jpg"});
    EXPECT_EQ(plain.quality, 95);
    EXPECT_FALSE(plain.strip);
    EXPECT_EQ(ParseOk({"--quality", "1", "a.png", "b.jpg"}).quality, 1);
    EXPECT_EQ(ParseOk({"--quality=100", "--strip", "a.png", "b.jpg"}).quality, 100);
    EXPECT_TRUE(ParseOk({"--strip", "a.png", "b.jpg"}).strip);
    for (const char* bad : {"0", "101", "9x", "", "-5"})
        EXPECT_NE(ParseError({"--quality", bad, "a.png", "b.jpg"}).find("--quality must be a whole number from 1 to 100"),
                  std::string::npos)
            << bad;
}

TEST(ToolOptions, MaxMegapixelsTakesAWholeNumberAndZeroLiftsTheLimit) {
    EXPECT_EQ(ParseOk({"a.png", "b.png"}).MaxPixels(), kDefaultMaxPixels);
    EXPECT_EQ(ParseOk({"--max-megapixels", "12", "a.png", "b.png"}).MaxPixels(), 12000000u);
    EXPECT_EQ(ParseOk({"--max-megapixels=0", "a.png", "b.png"}).MaxPixels(), 0u);
    for (const char* bad : {"-1", "1.5", "", "100001", "lots"})
        EXPECT_NE(ParseError({"--max-megapixels", bad, "a.png", "b.png"}).find("--max-megapixels must be a whole number"),
                  std::string::npos)
            << bad;
}

TEST(ToolOptions, AnOutputNeverNamesAnInputOrTheOtherOutput) {
    const std::string other = "./" + std::string("a.png");
    EXPECT_TRUE(CheckFileRoles(ParseOk({"--selection", "s.png", "a.png", "b.png"})).ok());
    EXPECT_EQ(CheckFileRoles(ParseOk({"a.png", other})).message,
              "OUTPUT './a.png' is the INPUT file; an output never replaces an input");
    EXPECT_NE(CheckFileRoles(ParseOk({"--selection", "s.png", "a.png", "s.png"})).message.find("is the --selection file"),
              std::string::npos);
    EXPECT_NE(CheckFileRoles(ParseOk({"--write-sample", "a.png", "a.png", "b.png"})).message.find("is the INPUT file"),
              std::string::npos);
    EXPECT_NE(CheckFileRoles(ParseOk({"--sample", "x.png", "--write-sample", "x.png"})).message.find("same file"),
              std::string::npos);
    EXPECT_NE(CheckFileRoles(ParseOk({"--write-sample", "b.png", "a.png", "b.png"})).message.find("same file"),
              std::string::npos);
    EXPECT_NE(CheckFileRoles(ParseOk({"--save-settings", "l.txt", "--settings", "./l.txt"})).message.find("is the --settings"),
              std::string::npos);
}

TEST(ToolOptions, ManyInputsMapToOutputsInTheFolderAndNeverOntoAnInput) {
    const ToolOptions plain = ParseOk({"--output-dir", "out", "a/x.png", "b/y.JPG"});
    EXPECT_EQ(plain.inputs, (std::vector<std::string>{"a/x.png", "b/y.JPG"}));
    EXPECT_EQ(std::filesystem::path(BatchOutputPath(plain, "b/y.JPG")), std::filesystem::path("out") / "y.JPG");
    const ToolOptions renamed = ParseOk({"--output-dir=out", "--suffix", "-blur", "--format", ".TIF", "a/x.png"});
    EXPECT_EQ(std::filesystem::path(BatchOutputPath(renamed, "a/x.png")), std::filesystem::path("out") / "x-blur.tif");
    EXPECT_TRUE(CheckFileRoles(plain).ok());
    // Names that meet: an output on an input (the folder is the inputs' own), two inputs on one output.
    // Each message names each file once.
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } refused[] = {
        {{"--output-dir", "a", "a/x.png"}, "'a/x.png' would be written over itself; an output never replaces an input"},
        {{"--output-dir", "a", "--suffix", "_", "--format", "png", "a/x_.png", "a/x.png"},
         "the output of 'a/x.png' would be written over the INPUT file 'a/x_.png'; an output never"},
        {{"--output-dir", "o", "--selection", "o/m.png", "m.png"},
         "the output of 'm.png' would be written over the --selection file 'o/m.png'"},
        {{"--output-dir", "o", "--write-sample", "a/x.png", "a/x.png"},
         "the --write-sample file would be written over the INPUT file 'a/x.png'"},
        {{"--output-dir", "o", "--write-sample", "o/x.png", "a/x.png"}, "would both be written to"},
        {{"--output-dir", "o", "a/x.png", "b/x.png"}, "'b/x.png' and 'a/x.png' would both be written to"},
        {{"--output-dir", "o", "--format", "png", "x.jpg", "x.tif"}, "would both be written to"},
        {{"--output-dir", "o", "a/x.png", "./a/x.png"}, "would both be written to"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.message);
        const std::string message = CheckFileRoles(ParseOk(c.arguments)).message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        for (const std::string& argument : c.arguments)
            if (argument.find(".png") != std::string::npos) {
                const std::string quoted = "'" + argument + "'";
                EXPECT_EQ(message.find(quoted), message.rfind(quoted)) << argument << " named twice: " << message;
            }
    }
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
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE(setting.option);
        EXPECT_NE(usage.find(std::string("--") + setting.option), std::string::npos);
        if (setting.kind == SettingKind::Integer) {
            const std::string range = std::to_string(setting.range.minimum) + ".." +
                                      std::to_string(setting.range.maximum) + ", default " +
                                      std::to_string(ToolDefault(setting));
            EXPECT_NE(usage.find(range), std::string::npos) << range;
        }
        for (const Enumerator& e : setting.enumerators) EXPECT_NE(usage.find(e.option), std::string::npos);
    }
    for (const char* option : {"--selection", "--sample", "--write-sample", "--plugin", "--max-megapixels",
                               "--progress", "--verbose", "--help", "--version", "--output-dir", "--suffix",
                               "--format", "--settings", "--save-settings", "--background"})
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
