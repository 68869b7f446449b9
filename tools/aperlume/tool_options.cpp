// Parsing and describing the aperlume command line.
#include "tools/aperlume/tool_options.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

#include "base/product_info.h"
#include "tools/aperlume/nearest_name.h"
#include "tools/aperlume/setting_values.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

const Setting* FindSetting(const std::string& name) {
    for (const Setting& setting : kSettings)
        if (name == setting.option) return &setting;
    return nullptr;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The options besides the settings: switches, and options that take a value (a file name, or a word).
constexpr const char* kSwitches[] = {"help", "version", "verbose", "progress", "strip"};
constexpr const char* kValueOptions[] = {"selection", "plugin", "sample", "write-sample", "settings",
                                         "save-settings", "output-dir", "suffix", "format",
                                         "max-megapixels", "quality", "background"};

std::vector<const char*> AllOptionNames() {
    std::vector<const char*> names;
    for (const Setting& setting : kSettings) names.push_back(setting.option);
    names.insert(names.end(), std::begin(kSwitches), std::end(kSwitches));
    names.insert(names.end(), std::begin(kValueOptions), std::end(kValueOptions));
    return names;
}

ToolStatus UnknownOption(const std::string& argument) {
    std::string message = "unknown option " + Quoted(argument);
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals).substr(argument.rfind("--", 0) == 0 ? 2 : 1);
    const std::string nearest = NearestName(name, AllOptionNames());
    return ToolStatus::Failure(message + (nearest.empty() ? " (see --help)" : " (did you mean --" + nearest + "?)"));
}

bool* SwitchNamed(const std::string& name, ToolOptions& options) {
    if (name == "help") return &options.help;
    if (name == "version") return &options.version;
    if (name == "verbose") return &options.verbose;
    if (name == "progress") return &options.progress;
    if (name == "strip") return &options.strip;
    return nullptr;
}

// Options whose value is kept as given, and where it goes.
std::string* TextOption(const std::string& name, ToolOptions& options) {
    if (name == "selection") return &options.selection;
    if (name == "plugin") return &options.plugin;
    if (name == "sample") return &options.sampleOutput;
    if (name == "write-sample") return &options.sampleSource;
    if (name == "settings") return &options.settingsFile;
    if (name == "save-settings") return &options.saveSettings;
    if (name == "output-dir") return &options.outputDir;
    if (name == "suffix") return &options.suffix;
    if (name == "format") return &options.format;
    return nullptr;
}

// An output's extension names its format; a name that names none is a slip of the command line.
ToolStatus CheckOutputNames(const ToolOptions& options) {
    for (const std::string* path : {&options.output, &options.sampleOutput, &options.sampleSource}) {
        ImageFormat format = ImageFormat::Png;
        if (!path->empty())
            if (ToolStatus s = OutputFormatOf(*path, format); !s.ok()) return s;
    }
    return ToolStatus::Success();
}

constexpr std::int64_t kMostMegapixels = 100000;

ToolStatus SetMaxMegapixels(const std::string& text, ToolOptions& options) {
    std::int64_t number = 0;
    if (!ParseWholeNumber(text, number) || number < 0 || number > kMostMegapixels)
        return ToolStatus::Failure("--max-megapixels must be a whole number from 0 (no limit) to " +
                                   std::to_string(kMostMegapixels) + " (got " + Quoted(text) + ")");
    options.maxMegapixels = static_cast<std::uint32_t>(number);
    return ToolStatus::Success();
}

ToolStatus SetQuality(const std::string& text, ToolOptions& options) {
    std::int64_t number = 0;
    if (!ParseWholeNumber(text, number) || number < 1 || number > 100)
        return ToolStatus::Failure("--quality must be a whole number from 1 to 100 (got " + Quoted(text) + ")");
    options.quality = static_cast<int>(number);
    return ToolStatus::Success();
}

// White, black or #RRGGBB. The '#' may be left out: unquoted at the start of a word, the shell takes it
// for the start of a comment.
ToolStatus SetBackground(const std::string& text, ToolOptions& options) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (lower == "white" || lower == "black") {
        const std::uint8_t level = lower == "white" ? 255 : 0;
        options.background = RgbColour{level, level, level};
        return ToolStatus::Success();
    }
    const std::string hex = lower.substr(lower.rfind('#', 0) == 0 ? 1 : 0);
    std::uint8_t rgb[3] = {};
    bool valid = hex.size() == 6;
    for (std::size_t i = 0; valid && i < 3; ++i) {
        const auto [end, error] = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, rgb[i], 16);
        valid = error == std::errc() && end == hex.data() + 2 * i + 2;
    }
    if (!valid)
        return ToolStatus::Failure("--background must be white, black or a colour #RRGGBB of hexadecimal digits (got " +
                                   Quoted(text) + ")");
    options.background = RgbColour{rgb[0], rgb[1], rgb[2]};
    return ToolStatus::Success();
}

// With --output-dir every file name is an INPUT; --suffix and --format shape the outputs' names.
ToolStatus CheckBatch(const std::vector<std::string>& positional, ToolOptions& options) {
    if (options.RendersSample())
        return ToolStatus::Failure("--sample and --output-dir do not go together");
    if (positional.empty()) return ToolStatus::Failure("--output-dir needs at least one INPUT file");
    for (const std::string& input : positional)
        if (input.empty()) return ToolStatus::Failure("an INPUT file name is empty");
    if (options.suffix.find_first_of("/\\") != std::string::npos)
        return ToolStatus::Failure("--suffix is put into file names and may not hold a folder separator (got " +
                                   Quoted(options.suffix) + ")");
    if (!options.format.empty()) {
        if (options.format[0] == '.') options.format.erase(0, 1);
        for (char& c : options.format)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        ImageFormat format = ImageFormat::Png;
        if (ToolStatus s = OutputFormatOf("x." + options.format, format); !s.ok())
            return ToolStatus::Failure("--format names no format the tool writes (got " + Quoted(options.format) +
                                       "): use png, jpg or tif");
    }
    options.inputs = positional;
    return ToolStatus::Success();
}

ToolStatus CheckPositional(const std::vector<std::string>& positional, ToolOptions& options) {
    if (options.Batch()) return CheckBatch(positional, options);
    if (!options.suffix.empty() || !options.format.empty())
        return ToolStatus::Failure(std::string(options.suffix.empty() ? "--format" : "--suffix") +
                                   " names the outputs of --output-dir and needs it");
    if (options.RendersSample()) {
        if (!positional.empty())
            return ToolStatus::Failure("--sample renders the built-in sample and takes no INPUT or OUTPUT (got " +
                                       Quoted(positional.front()) + ")");
        return ToolStatus::Success();
    }
    if (positional.size() > 2)
        return ToolStatus::Failure("too many file names: " + Quoted(positional[2]) +
                                   " (expected INPUT OUTPUT, or --output-dir DIR INPUT...)");
    if (positional.size() == 1)
        return ToolStatus::Failure("missing OUTPUT after " + Quoted(positional[0]));
    // An empty name is a slip (an unset shell variable, say), not a request for the built-in sample.
    if (positional.size() == 2 && (positional[0].empty() || positional[1].empty()))
        return ToolStatus::Failure(std::string("the ") + (positional[0].empty() ? "INPUT" : "OUTPUT") +
                                   " file name is empty");
    if (positional.empty()) {
        // Only saving the sample, or only the settings.
        if (!options.sampleSource.empty() || !options.saveSettings.empty()) return ToolStatus::Success();
        return ToolStatus::Failure("missing INPUT and OUTPUT (or --sample OUTPUT)");
    }
    options.input = positional[0];
    options.output = positional[1];
    return ToolStatus::Success();
}

ToolStatus CheckCombination(const std::vector<std::string>& positional, ToolOptions& options) {
    if (options.help || options.version) return ToolStatus::Success();
    if (ToolStatus s = CheckPositional(positional, options); !s.ok()) return s;
    return CheckOutputNames(options);
}

}  // namespace

FilterParameters ToolDefaultSettings() { return ToolDefaults(); }

ToolStatus ParseToolOptions(std::span<const std::string> arguments, ToolOptions& options) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || !StartsWith(argument, "-") || argument == "-") {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // Short forms of two switches.
        const std::string spelled = argument == "-h" ? "--help" : argument == "-v" ? "--verbose" : argument;
        if (!StartsWith(spelled, "--")) return UnknownOption(argument);

        // --name=value or --name value.
        const std::size_t equals = spelled.find('=');
        const std::string name = spelled.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const bool inlineValue = equals != std::string::npos;
        std::string value = inlineValue ? spelled.substr(equals + 1) : std::string();

        if (bool* flag = SwitchNamed(name, options); flag != nullptr) {
            if (inlineValue) return ToolStatus::Failure("--" + name + " takes no value");
            *flag = true;
            continue;
        }
        const Setting* setting = FindSetting(name);
        std::string* text = TextOption(name, options);
        const bool limit = name == "max-megapixels";
        const bool quality = name == "quality";
        const bool background = name == "background";
        if (setting == nullptr && text == nullptr && !limit && !quality && !background) return UnknownOption(argument);

        if (!inlineValue) {
            if (setting != nullptr && setting->kind == SettingKind::Flag) {
                // A flag takes a following flag value (0, 1, yes, off, ...); anything else is the next argument.
                const bool next = i + 1 < arguments.size() && IsFlagValue(arguments[i + 1]);
                value = next ? arguments[++i] : "1";
            } else {
                // An unquoted #RRGGBB never arrives: the shell takes it for the start of a comment.
                const char* hint = background ? " (quote a '#RRGGBB': the shell reads # as a comment)" : "";
                if (i + 1 >= arguments.size()) return ToolStatus::Failure("--" + name + " needs a value" + hint);
                value = arguments[++i];
            }
        }
        if (setting != nullptr) {
            if (ToolStatus s = ParseSettingValue(*setting, value, options.settings.*setting->field); !s.ok()) return s;
            options.given[static_cast<std::size_t>(setting - kSettings.data())] = true;
        } else if (limit) {
            if (ToolStatus s = SetMaxMegapixels(value, options); !s.ok()) return s;
        } else if (quality) {
            if (ToolStatus s = SetQuality(value, options); !s.ok()) return s;
        } else if (background) {
            if (ToolStatus s = SetBackground(value, options); !s.ok()) return s;
        } else {
            const bool file = name != "suffix" && name != "format";
            if (value.empty()) return ToolStatus::Failure("--" + name + (file ? " needs a file name" : " needs a value"));
            *text = value;
        }
    }
    return CheckCombination(positional, options);
}

ToolStatus ApplySettingsFile(const std::string& text, const std::string& what, ToolOptions& options) {
    FilterParameters loaded = ToolDefaultSettings();
    SettingsGiven named{};
    if (ToolStatus s = ParseSettingsFile(text, what, loaded, named); !s.ok()) return s;
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        if (!options.given[i]) options.settings.*kSettings[i].field = loaded.*kSettings[i].field;
    return ToolStatus::Success();
}

constexpr const char* kUsageLines =
    "Usage: aperlume [options] INPUT OUTPUT\n"
    "  or:  aperlume [options] --output-dir DIR INPUT...\n"
    "  or:  aperlume [options] --sample OUTPUT [--write-sample SAMPLE]\n";

std::string ShortUsageText() {
    return std::string(kUsageLines) + "Try 'aperlume --help' for the settings and options, or\n" +
           "'aperlume --sample blurred.png' to blur the built-in sample.\n";
}

std::string UsageText() {
    std::string text = std::string(kUsageLines) +
        "\n"
        "Blurs an image as an out-of-focus lens would: bright points bloom into the shape of the\n"
        "aperture. Reads PNG, JPEG and TIFF files (told by their content) of 8 or 16 bits, gray or RGB,\n"
        "with or without alpha; writes the format OUTPUT's extension names: .png, .jpg/.jpeg, .tif/.tiff.\n"
        "PNG and TIFF keep the channels and the bit depth (TIFF: deflate, alpha unassociated); JPEG is\n"
        "8-bit, gray or RGB, and takes no alpha (see --background). The output is written only when the\n"
        "whole run succeeded.\n"
        "\n"
        "Filter settings (value ranges and defaults in brackets):\n";
    char line[200];
    for (const Setting& setting : kSettings) {
        std::string left = std::string("  --") + setting.option;
        const std::int16_t fallback = ToolDefault(setting);
        std::string range;
        switch (setting.kind) {
            case SettingKind::Integer:
                left += " N";
                range = std::to_string(setting.range.minimum) + ".." + std::to_string(setting.range.maximum) +
                        ", default " + std::to_string(fallback);
                break;
            case SettingKind::Flag:
                left += "[=0|1]";
                range = fallback == 0 ? "off unless given" : "on unless --" + std::string(setting.option) + "=0";
                break;
            case SettingKind::Method:
            case SettingKind::Correction:
                left += " NAME";
                range = "default " + SettingValueText(setting, fallback);
                break;
        }
        // The range goes on a line of its own where the line would run past 100 columns.
        const bool wrap = 23 + std::strlen(setting.description) + range.size() + 3 > 100;
        if (wrap)
            std::snprintf(line, sizeof line, "%-22s %s\n%23s[%s]\n", left.c_str(), setting.description, "", range.c_str());
        else
            std::snprintf(line, sizeof line, "%-22s %s [%s]\n", left.c_str(), setting.description, range.c_str());
        text += line;
    }
    text += "\n"
        "The depth map (--depth-map) needs --selection and has effect only with --method normal. Names\n"
        "of methods and corrections may be written in any case (FFT or fft); a flag also takes yes/no,\n"
        "on/off or true/false. --rotation turns the aperture clockwise: at 0 a streak lies level and a\n"
        "polygon points a corner to the right.\n"
        "\n"
        "Methods (--method):\n"
        "  normal  averages, for each pixel, the pixels under the aperture that lie inside the image.\n"
        "  fft     the same picture, except within the aperture's radius (--amount pixels) of the border:\n"
        "          there it counts the edge pixels as repeated outwards, so a light the frame cuts spreads\n"
        "          further, and the two can differ by a quarter of the range or more. With --correction\n"
        "          gamma and --brightness above 75 its rounding also darkens the darkest tones (by up to\n"
        "          10/255 at 100). Its time depends little on the aperture's size.\n"
        "  mc      estimates each pixel from random samples and stops once the estimate settles, often\n"
        "          after a few dozen: lights become scattered specks, and at large amounts with strong\n"
        "          brightness most pixels miss them, so the picture comes out darker than with normal.\n"
        "\n"
        "Files and switches:\n"
        "  --selection FILE       an image of the image's size: white is filtered, black left as it was;\n"
        "                         with --depth-map its values are the depths. A colour selection counts\n"
        "                         by its brightness, and its alpha is ignored\n"
        "  --output-dir DIR       render every INPUT into the existing folder DIR, one after another,\n"
        "                         under its own name; a file that fails is reported and skipped, and\n"
        "                         the rest still done\n"
        "  --suffix TEXT          with --output-dir: put TEXT before each output's extension\n"
        "  --format EXT           with --output-dir: write every output as EXT (png, jpg or tif)\n"
        "  --settings FILE        start from the settings saved in FILE; settings given on the command\n"
        "                         line win over it\n"
        "  --save-settings FILE   save the settings into FILE as 'key = value' lines, the keys being the\n"
        "                         option names above; '-' writes them to standard output\n"
        "  --sample FILE          render the built-in sample (a night street, 640x400) into FILE\n"
        "  --write-sample FILE    save the built-in sample, unblurred, into FILE\n"
        "  --plugin FILE          the plug-in module to load (default: the one installed with the tool)\n"
        "  --max-megapixels N     refuse an image or selection of more than N million pixels before\n"
        "                         reading its pixels; 0 for no limit [default " +
        std::to_string(kDefaultMaxMegapixels) + "]\n"
        "  --quality N            JPEG quality, 1..100 [default 95]; full colour resolution from 90 up\n"
        "  --background COLOUR    flatten an image's alpha onto COLOUR for a JPEG output, which cannot\n"
        "                         hold alpha: white, black or '#RRGGBB' (the blurred colours laid over\n"
        "                         it, alpha as coverage); PNG and TIFF outputs keep the alpha\n"
        "  --strip                write no metadata into OUTPUT\n"
        "  --progress             draw the progress bar even when standard error is not a terminal\n"
        "  -v, --verbose          print the plug-in, the image, its metadata and the settings the plug-in\n"
        "                         recorded\n"
        "  -h, --help             print this help\n"
        "  --version              print the version\n"
        "\n"
        "Metadata: the input's colour profile, EXIF (its orientation as it is: the filter works on the\n"
        "stored pixels), XMP and resolution go into OUTPUT as far as its format holds them. What does not\n"
        "fit is left out with a warning; --strip leaves out all of it.\n" +
        std::string(EncoderLimits()) +
        "\n"
        "An output never replaces an input, and a read-only output file is left alone.\n"
        "Exit status: 0 success; 1 a file could not be read or written or the filter failed (with\n"
        "--output-dir: for at least one file); 2 a wrong command line or settings file.\n";
    return text;
}

std::string VersionText() {
    return std::string("aperlume ") + kVersionText + " (" + kProductName + ", " + kLongName + ")\n" +
           "Copyright (c) " + kCopyrightYears + " " + kMakerHandle + "\n";
}

std::string DescribeSettings(const FilterParameters& settings) {
    std::string text;
    for (const Setting& setting : kSettings) {
        if (!text.empty()) text += ", ";
        text += std::string(setting.option) + " " + SettingValueText(setting, settings.*setting.field);
    }
    return text;
}

}  // namespace aperlume::tool
