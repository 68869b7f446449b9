// Parsing and describing the aperlume command line.
#include "tools/aperlume/tool_options.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace aperlume::tool {
namespace {

struct NamedValue {
    const char* name;
    std::int16_t value;
};

// Method and correction names; the first name of a value is the one printed.
constexpr std::array<NamedValue, 4> kMethodNames{{{"normal", 0}, {"mc", 1}, {"fft", 2}, {"direct", 0}}};
constexpr std::array<NamedValue, 3> kCorrectionNames{{{"gamma", 0}, {"log", 1}, {"logarithmic", 1}}};

// Brightness is used as an exponent (gamma) or a factor (log) of brightness * 0.1; 0 would make the
// inverse correction divide by zero, so the tool keeps to the dialog's range 1..100.
constexpr std::array<SettingSpec, 11> kSpecs{{
    {"amount", &FilterParameters::amount, SettingKind::Integer, 0, 100, 5,
     "blur size: the aperture is 2N+1 pixels across"},
    {"brightness", &FilterParameters::brightness, SettingKind::Integer, 1, 100, 25,
     "highlight boost: the correction uses N/10 as exponent or factor"},
    {"vertices", &FilterParameters::vertices, SettingKind::Integer, 1, 8, 1,
     "aperture corners: 1 a disc, 2 a streak, 3..8 a polygon"},
    {"edge", &FilterParameters::edge, SettingKind::Integer, 0, 100, 0,
     "size of the inner aperture shape, in percent of the radius"},
    {"ratio", &FilterParameters::ratio, SettingKind::Integer, -100, 100, 0,
     "brightness of the inner shape against the rim"},
    {"rotation", &FilterParameters::rotation, SettingKind::Integer, 0, 359, 0,
     "rotation of the aperture in degrees"},
    {"soft", &FilterParameters::soft, SettingKind::Flag, 0, 1, 0, "anti-aliased aperture"},
    {"method", &FilterParameters::method, SettingKind::Method, 0, 2, 0,
     "spreading method: normal (direct), mc (Monte Carlo) or fft"},
    {"correction", &FilterParameters::correction, SettingKind::Correction, 0, 1, 0,
     "highlight correction: gamma or log"},
    {"depth-map", &FilterParameters::depth, SettingKind::Flag, 0, 1, 0,
     "use the selection as a depth map (method normal only)"},
    {"focus", &FilterParameters::focus, SettingKind::Integer, 0, 255, 0,
     "the depth value (0..255 of the selection) that stays sharp"},
}};

template <std::size_t N>
const char* NameOf(const std::array<NamedValue, N>& names, std::int16_t value) {
    for (const NamedValue& n : names)
        if (n.value == value) return n.name;
    return nullptr;
}

template <std::size_t N>
bool ValueOf(const std::array<NamedValue, N>& names, const std::string& text, std::int16_t& value) {
    for (const NamedValue& n : names)
        if (text == n.name) {
            value = n.value;
            return true;
        }
    return false;
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

ToolStatus SetSetting(const SettingSpec& spec, const std::string& text, FilterParameters& settings) {
    const std::string option = std::string("--") + spec.option;
    std::int16_t value = 0;
    switch (spec.kind) {
        case SettingKind::Method:
            if (!ValueOf(kMethodNames, text, value))
                return ToolStatus::Failure(option + " must be one of normal, mc, fft (got " + Quoted(text) + ")");
            break;
        case SettingKind::Correction:
            if (!ValueOf(kCorrectionNames, text, value))
                return ToolStatus::Failure(option + " must be gamma or log (got " + Quoted(text) + ")");
            break;
        case SettingKind::Flag:
        case SettingKind::Integer: {
            std::int64_t number = 0;
            if (!ParseWholeNumber(text, number))
                return ToolStatus::Failure(option + " needs a whole number, not " + Quoted(text));
            if (number < spec.minimum || number > spec.maximum)
                return ToolStatus::Failure(option + " must be between " + std::to_string(spec.minimum) + " and " +
                                           std::to_string(spec.maximum) + " (got " + text + ")");
            value = static_cast<std::int16_t>(number);
            break;
        }
    }
    settings.*spec.field = value;
    return ToolStatus::Success();
}

const SettingSpec* FindSetting(const std::string& name) {
    for (const SettingSpec& spec : kSpecs)
        if (name == spec.option) return &spec;
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

// Output files are always PNG; a name that promises another format would be a surprise.
bool HasPngExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".png";
}

ToolStatus CheckOutputNames(const ToolOptions& options) {
    for (const std::string* path : {&options.output, &options.sampleOutput, &options.sampleSource})
        if (!path->empty() && !HasPngExtension(*path))
            return ToolStatus::Failure("output files are PNG: " + Quoted(*path) + " must end in .png");
    if (!options.sampleSource.empty() && options.sampleSource == options.sampleOutput)
        return ToolStatus::Failure("--sample and --write-sample name the same file " + Quoted(options.sampleSource));
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

std::span<const SettingSpec> SettingSpecs() { return kSpecs; }

FilterParameters ToolDefaultSettings() {
    FilterParameters settings = kDefaultParameters;
    for (const SettingSpec& spec : kSpecs) settings.*spec.field = spec.defaultValue;
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
        if (!StartsWith(argument, "--")) return ToolStatus::Failure("unknown option " + Quoted(argument) + " (see --help)");

        // --name=value or --name value.
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const bool inlineValue = equals != std::string::npos;
        std::string value = inlineValue ? argument.substr(equals + 1) : std::string();

        const SettingSpec* spec = FindSetting(name);
        std::string* file = FileOption(name, options);
        if (spec == nullptr && file == nullptr)
            return ToolStatus::Failure("unknown option " + Quoted("--" + name) + " (see --help)");

        if (!inlineValue) {
            if (spec != nullptr && spec->kind == SettingKind::Flag) {
                // A flag takes a following 0 or 1 as its value; anything else is the next argument.
                const bool next = i + 1 < arguments.size() && (arguments[i + 1] == "0" || arguments[i + 1] == "1");
                value = next ? arguments[++i] : "1";
            } else {
                if (i + 1 >= arguments.size()) return ToolStatus::Failure("--" + name + " needs a value");
                value = arguments[++i];
            }
        }
        if (spec != nullptr) {
            if (ToolStatus s = SetSetting(*spec, value, options.settings); !s.ok()) return s;
        } else {
            if (value.empty()) return ToolStatus::Failure("--" + name + " needs a file name");
            *file = value;
        }
    }
    return CheckCombination(positional, options);
}

std::string UsageText() {
    std::string text =
        "Usage: aperlume [options] INPUT.png OUTPUT.png\n"
        "       aperlume [options] --sample OUTPUT.png [--write-sample SAMPLE.png]\n"
        "\n"
        "Blurs a PNG image as an out-of-focus lens would: bright points bloom into the shape of the\n"
        "aperture. Reads and writes 8- and 16-bit gray, gray+alpha, RGB and RGBA PNG files; the output\n"
        "keeps the input's format. The output is written only when the whole run succeeded.\n"
        "\n"
        "Filter settings (value ranges and defaults in brackets):\n";
    char line[200];
    for (const SettingSpec& spec : kSpecs) {
        std::string left = std::string("  --") + spec.option;
        std::string range;
        switch (spec.kind) {
            case SettingKind::Integer:
                left += " N";
                range = std::to_string(spec.minimum) + ".." + std::to_string(spec.maximum) + ", default " +
                        std::to_string(spec.defaultValue);
                break;
            case SettingKind::Flag:
                left += "[=0|1]";
                range = "off unless given";
                break;
            case SettingKind::Method:
                left += " NAME";
                range = "default normal";
                break;
            case SettingKind::Correction:
                left += " NAME";
                range = "default gamma";
                break;
        }
        std::snprintf(line, sizeof line, "%-22s %s [%s]\n", left.c_str(), spec.help, range.c_str());
        text += line;
    }
    text +=
        "\n"
        "  vertices defaults to 1 (a disc): the plug-in's stored default of 0 draws an empty aperture.\n"
        "  brightness starts at 1: 0 would make the correction impossible to undo.\n"
        "  --depth-map needs --selection and has effect only with --method normal.\n"
        "\n"
        "Files and switches:\n"
        "  --selection FILE       gray PNG of the image's size: the selection to blend with, and the\n"
        "                         depth map with --depth-map (8-bit; 16-bit is scaled to 8 bits)\n"
        "  --sample FILE          render the built-in sample (a night street, 640x400) into FILE\n"
        "  --write-sample FILE    save the built-in sample, unblurred, into FILE\n"
        "  --plugin FILE          the plug-in module to load (default: the one built beside the tool)\n"
        "  --progress             draw the progress bar even when standard error is not a terminal\n"
        "  -v, --verbose          print the plug-in, the image and the settings the plug-in recorded\n"
        "  -h, --help             print this help\n"
        "\n"
        "Exit status: 0 success, 1 a file could not be read or written or the filter failed,\n"
        "2 a wrong command line.\n";
    return text;
}

std::string DescribeSettings(const FilterParameters& settings) {
    std::string text;
    for (const SettingSpec& spec : kSpecs) {
        if (!text.empty()) text += ", ";
        const std::int16_t value = settings.*spec.field;
        std::string shown = std::to_string(value);
        if (spec.kind == SettingKind::Method) {
            if (const char* name = NameOf(kMethodNames, value)) shown = name;
        } else if (spec.kind == SettingKind::Correction) {
            if (const char* name = NameOf(kCorrectionNames, value)) shown = name;
        }
        text += std::string(spec.option) + " " + shown;
    }
    return text;
}

}  // namespace aperlume::tool
