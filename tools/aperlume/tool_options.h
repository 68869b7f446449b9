// The command line of the aperlume tool: the eleven filter settings with their ranges and defaults,
// the files to read and write, and the switches. Parsing validates everything it can without touching
// a file, so a bad command line is refused before any work starts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/filter_parameters.h"
#include "tools/aperlume/settings_file.h"
#include "tools/imagefile/alpha_flattening.h"
#include "tools/imagefile/image_file_check.h"
#include "tools/imagefile/tool_status.h"

namespace aperlume::tool {

// The eleven settings are the rows of the settings table (base/settings_table.h), in its order: each
// has its --option; integers take a number in the row's range, flags take nothing (1) or =0/=1 (or a
// following 0 or 1), and the method and the correction take an enumerator's name.

// The settings the tool sends when the user gives none: the plug-in's own defaults, except where the
// table gives the tool a default of its own (vertices 1, a disc).
FilterParameters ToolDefaultSettings();

struct ToolOptions {
    FilterParameters settings = ToolDefaultSettings();
    SettingsGiven given{};      // the settings the command line names: they override a settings file
    std::string input;          // INPUT: PNG, JPEG or TIFF
    std::string output;         // OUTPUT: its extension names its format
    std::vector<std::string> inputs;  // with --output-dir: every INPUT, rendered one after another
    std::string outputDir;      // --output-dir: where the outputs of many INPUTs go
    std::string suffix;         // --suffix: put before each output's extension
    std::string format;         // --format: the outputs' extension (lower case, without the dot) ...
                                // ... instead of each input's own
    std::string settingsFile;   // --settings: a settings file to start from
    std::string saveSettings;   // --save-settings: write the settings into this file
    std::string selection;      // --selection: a gray image, the selection and the depth map
    std::string plugin;         // --plugin: the module to load instead of the one beside the tool
    std::string sampleOutput;   // --sample: render the built-in sample into this file
    std::string sampleSource;   // --write-sample: save the unblurred built-in sample into this file
    std::uint32_t maxMegapixels = kDefaultMaxMegapixels;  // --max-megapixels: larger files are refused; 0: no limit
    int quality = 95;           // --quality: JPEG quality 1..100
    std::optional<RgbColour> background;  // --background: what a JPEG output's alpha is flattened onto
    bool strip = false;         // --strip: write no metadata
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool progress = false;      // --progress: draw the bar even when standard error is no terminal

    bool RendersSample() const { return !sampleOutput.empty(); }
    bool Batch() const { return !outputDir.empty(); }
    bool Renders() const { return RendersSample() || Batch() || !output.empty(); }
    std::uint64_t MaxPixels() const { return std::uint64_t{maxMegapixels} * 1000000u; }
};

// Parses the arguments after the program name. On failure the message names the offending argument;
// `options` then holds whatever was parsed before it.
ToolStatus ParseToolOptions(std::span<const std::string> arguments, ToolOptions& options);

// The settings of a settings file's text under those the command line named (which win). `what`
// names the file in messages.
ToolStatus ApplySettingsFile(const std::string& text, const std::string& what, ToolOptions& options);

// The --help text: usage, every option with its range and default, and the exit codes.
std::string UsageText();

// The usage lines alone and where to read more: for a command line with nothing on it.
std::string ShortUsageText();

// The --version text: the program, the product and its version, and the copyright.
std::string VersionText();

// The settings in words, one "option value" pair per setting in the table's order, for
// --verbose (for example "amount 5, brightness 25, ..., method normal, correction gamma, ...").
std::string DescribeSettings(const FilterParameters& settings);

// Exit codes of the tool.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read or written, or the filter failed (with
                                        // --output-dir: for at least one of the files)
inline constexpr int kExitUsage = 2;    // the command line, or the settings file it names, is wrong

}  // namespace aperlume::tool
