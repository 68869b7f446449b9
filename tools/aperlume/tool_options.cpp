// Parsing and describing the aperlume command line.
#include "tools/aperlume/tool_options.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "tools/aperlume/image_file.h"
#include "tools/aperlume/output_file.h"

namespace aperlume::tool {
namespace {

// The enumerator the command line names `text`, by its name or its alias.
const Enumerator* EnumeratorNamed(const Setting& setting, const std::string& text) {
    for (const Enumerator& enumerator : setting.enumerators)
        if (text == enumerator.option || (enumerator.optionAlias != nullptr && text == enumerator.optionAlias))
            return &enumerator;
    return nullptr;
}

// "a or b", or "one of a, b, c": the names a setting's value may take.
std::string Choices(const Setting& setting) {
    const std::span<const Enumerator> names = setting.enumerators;
    if (names.size() == 2) return std::string(names[0].option) + " or " + names[1].option;
    std::string text = "one of ";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + std::string(names[i].option);
    return text;
}

// A value as the command line names it: an enumerator's name, or the number.
std::string ValueInWords(const Setting& setting, std::int16_t value) {
    if (value >= 0 && static_cast<std::size_t>(value) < setting.enumerators.size())
        return setting.enumerators[static_cast<std::size_t>(value)].option;
    return std::to_string(value);
}

// A whole decimal number with an optional sign, nothing before or after it.
bool ParseWholeNumber(const std::string& text, std::int64_t& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return false;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

ToolStatus SetSetting(const Setting& setting, const std::string& text, FilterParameters& settings) {
    const std::string option = std::string("--") + setting.option;
    std::int16_t value = 0;
    if (!setting.enumerators.empty()) {
        const Enumerator* named = EnumeratorNamed(setting, text);
        if (named == nullptr)
            return ToolStatus::Failure(option + " must be " + Choices(setting) + " (got " + Quoted(text) + ")");
        value = static_cast<std::int16_t>(named - setting.enumerators.data());
    } else {
        std::int64_t number = 0;
        if (!ParseWholeNumber(text, number))
            return ToolStatus::Failure(option + " needs a whole number, not " + Quoted(text));
        const SettingRange range = setting.range;
        if (number < range.minimum || number > range.maximum)
            return ToolStatus::Failure(option + " must be between " + std::to_string(range.minimum) + " and " +
                                       std::to_string(range.maximum) + " (got " + text + ")");
        value = static_cast<std::int16_t>(number);
    }
    settings.*setting.field = value;
    return ToolStatus::Success();
}

const Setting* FindSetting(const std::string& name) {
    for (const Setting& setting : kSettings)
        if (name == setting.option) return &setting;
    return nullptr;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Options that take a file name, and where it goes.
std::string* FileOption(const std::string& name, ToolOptions& options) {
    if (name == "selection") return &options.selection;
    if (name == "plugin") return &options.plugin;
    if (name == "sample") return &options.sampleOutput;
    if (name == "write-sample") return &options.sampleSource;
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

ToolStatus CheckPositional(const std::vector<std::string>& positional, ToolOptions& options) {
    if (options.RendersSample()) {
        if (!positional.empty())
            return ToolStatus::Failure("--sample renders the built-in sample and takes no INPUT or OUTPUT (got " +
                                       Quoted(positional.front()) + ")");
        return ToolStatus::Success();
    }
    if (positional.size() > 2)
        return ToolStatus::Failure("too many file names: " + Quoted(positional[2]) + " (expected INPUT OUTPUT)");
    if (positional.size() == 1)
        return ToolStatus::Failure("missing OUTPUT after " + Quoted(positional[0]));
    // An empty name is a slip (an unset shell variable, say), not a request for the built-in sample.
    if (positional.size() == 2 && (positional[0].empty() || positional[1].empty()))
        return ToolStatus::Failure(std::string("the ") + (positional[0].empty() ? "INPUT" : "OUTPUT") +
                                   " file name is empty");
    if (positional.empty()) {
        if (!options.sampleSource.empty()) return ToolStatus::Success();  // only saving the sample
        return ToolStatus::Failure("missing INPUT and OUTPUT (or --sample OUTPUT)");
    }
    options.input = positional[0];
    options.output = positional[1];
    return ToolStatus::Success();
}

ToolStatus CheckCombination(const std::vector<std::string>& positional, ToolOptions& options) {
    if (options.help) return ToolStatus::Success();
    if (ToolStatus s = CheckPositional(positional, options); !s.ok()) return s;
    return CheckOutputNames(options);
}

}  // namespace

FilterParameters ToolDefaultSettings() {
    FilterParameters settings = kDefaultParameters;
    for (const Setting& setting : kSettings) settings.*setting.field = ToolDefault(setting);
    return settings;
}

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
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        if (argument == "-v" || argument == "--verbose") {
            options.verbose = true;
            continue;
        }
        if (argument == "--progress") {
            options.progress = true;
            continue;
        }
        if (argument == "--strip") {
            options.strip = true;
            continue;
        }
        if (!StartsWith(argument, "--")) return ToolStatus::Failure("unknown option " + Quoted(argument) + " (see --help)");

        // --name=value or --name value.
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const bool inlineValue = equals != std::string::npos;
        std::string value = inlineValue ? argument.substr(equals + 1) : std::string();

        const Setting* setting = FindSetting(name);
        std::string* file = FileOption(name, options);
        const bool limit = name == "max-megapixels";
        const bool quality = name == "quality";
        if (setting == nullptr && file == nullptr && !limit && !quality)
            return ToolStatus::Failure("unknown option " + Quoted("--" + name) + " (see --help)");

        if (!inlineValue) {
            if (setting != nullptr && setting->kind == SettingKind::Flag) {
                // A flag takes a following 0 or 1 as its value; anything else is the next argument.
                const bool next = i + 1 < arguments.size() && (arguments[i + 1] == "0" || arguments[i + 1] == "1");
                value = next ? arguments[++i] : "1";
            } else {
                if (i + 1 >= arguments.size()) return ToolStatus::Failure("--" + name + " needs a value");
                value = arguments[++i];
            }
        }
        if (setting != nullptr) {
            if (ToolStatus s = SetSetting(*setting, value, options.settings); !s.ok()) return s;
        } else if (limit) {
            if (ToolStatus s = SetMaxMegapixels(value, options); !s.ok()) return s;
        } else if (quality) {
            if (ToolStatus s = SetQuality(value, options); !s.ok()) return s;
        } else {
            if (value.empty()) return ToolStatus::Failure("--" + name + " needs a file name");
            *file = value;
        }
    }
    return CheckCombination(positional, options);
}

ToolStatus CheckFileRoles(const ToolOptions& options) {
    struct Role {
        const char* name;
        const std::string* path;
    };
    const Role outputs[] = {{"OUTPUT", options.RendersSample() ? &options.sampleOutput : &options.output},
                            {"--write-sample", &options.sampleSource}};
    const Role inputs[] = {{"INPUT", &options.input}, {"--selection", &options.selection}, {"--plugin", &options.plugin}};
    for (const Role& output : outputs) {
        for (const Role& input : inputs)
            if (SameFile(*output.path, *input.path))
                return ToolStatus::Failure(std::string(output.name) + " " + Quoted(*output.path) + " is the " +
                                           input.name + " file; an output never replaces an input");
    }
    if (SameFile(*outputs[0].path, *outputs[1].path))
        return ToolStatus::Failure("OUTPUT and --write-sample name the same file " + Quoted(*outputs[1].path));
    return ToolStatus::Success();
}

std::string UsageText() {
    std::string text =
        "Usage: aperlume [options] INPUT OUTPUT\n"
        "       aperlume [options] --sample OUTPUT [--write-sample SAMPLE]\n"
        "\n"
        "Blurs an image as an out-of-focus lens would: bright points bloom into the shape of the\n"
        "aperture. Reads PNG, JPEG and TIFF files (told by their content) of 8 or 16 bits, gray or RGB,\n"
        "with or without alpha; writes the format OUTPUT's extension names: .png, .jpg/.jpeg, .tif/.tiff.\n"
        "PNG and TIFF keep the channels and the bit depth (TIFF: deflate, alpha unassociated); JPEG is\n"
        "8-bit, gray or RGB, and takes no alpha. The output is written only when the whole run succeeded.\n"
        "\n"
        "Filter settings (value ranges and defaults in brackets):\n";
    char line[200];
    std::string notes;
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
                range = "default " + ValueInWords(setting, fallback);
                break;
        }
        std::snprintf(line, sizeof line, "%-22s %s [%s]\n", left.c_str(), setting.description, range.c_str());
        text += line;
        // Where the tool parts from the plug-in's block or property list, and why.
        if (setting.toolDefaultReason != nullptr)
            notes += "  " + std::string(setting.option) + " defaults to " + std::to_string(fallback) + ": " +
                     setting.toolDefaultReason + ".\n";
        if (setting.listRangeReason != nullptr)
            notes += "  " + std::string(setting.option) + " starts at " + std::to_string(setting.range.minimum) +
                     ": " + setting.listRangeReason + ".\n";
    }
    text += "\n" + notes +
        "  --depth-map needs --selection and has effect only with --method normal.\n"
        "\n"
        "Files and switches:\n"
        "  --selection FILE       gray image of the image's size: the selection to blend with, and the\n"
        "                         depth map with --depth-map (8-bit; 16-bit is scaled to 8 bits)\n"
        "  --sample FILE          render the built-in sample (a night street, 640x400) into FILE\n"
        "  --write-sample FILE    save the built-in sample, unblurred, into FILE\n"
        "  --plugin FILE          the plug-in module to load (default: the one built beside the tool)\n"
        "  --max-megapixels N     refuse an image or selection of more than N million pixels before\n"
        "                         reading its pixels; 0 for no limit [default " +
        std::to_string(kDefaultMaxMegapixels) + "]\n"
        "  --quality N            JPEG quality, 1..100 [default 95]; 4:4:4 chroma from 90 up, else 4:2:0\n"
        "  --strip                write no metadata into OUTPUT\n"
        "  --progress             draw the progress bar even when standard error is not a terminal\n"
        "  -v, --verbose          print the plug-in, the image, its metadata and the settings the plug-in\n"
        "                         recorded\n"
        "  -h, --help             print this help\n"
        "\n"
        "Metadata: the input's ICC profile, EXIF (its orientation as it is: the filter works on the stored\n"
        "pixels), XMP and resolution go into OUTPUT as far as its format holds them (PNG iCCP, eXIf, iTXt,\n"
        "pHYs; JPEG APP0-APP2 segments of at most 64 KB each for EXIF and XMP; TIFF tags and the EXIF and\n"
        "GPS directories). What does not fit is left out with a warning; --strip leaves out all of it.\n" +
        std::string(EncoderLimits()) +
        "\n"
        "An output never replaces an input, and a read-only output file is left alone.\n"
        "Exit status: 0 success, 1 a file could not be read or written or the filter failed,\n"
        "2 a wrong command line.\n";
    return text;
}

std::string DescribeSettings(const FilterParameters& settings) {
    std::string text;
    for (const Setting& setting : kSettings) {
        if (!text.empty()) text += ", ";
        text += std::string(setting.option) + " " + ValueInWords(setting, settings.*setting.field);
    }
    return text;
}

}  // namespace aperlume::tool
