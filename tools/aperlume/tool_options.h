// The command line of the aperlume tool: the eleven filter settings with their ranges and defaults,
// the files to read and write, and the switches. Parsing validates everything it can without touching
// a file, so a bad command line is refused before any work starts.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/filter_parameters.h"
#include "tools/aperlume/image_file_check.h"
#include "tools/aperlume/tool_status.h"

namespace aperlume::tool {

// The eleven settings are the rows of the settings table (base/settings_table.h), in its order: each
// has its --option; integers take a number in the row's range, flags take nothing (1) or =0/=1 (or a
// following 0 or 1), and the method and the correction take an enumerator's name.

// The settings the tool sends when the user gives none: the plug-in's own defaults, except where the
// table gives the tool a default of its own (vertices 1, a disc).
FilterParameters ToolDefaultSettings();

struct ToolOptions {
    FilterParameters settings = ToolDefaultSettings();
    std::string input;          // INPUT: PNG, JPEG or TIFF
    std::string output;         // OUTPUT: its extension names its format
    std::string selection;      // --selection: a gray image, the selection and the depth map
    std::string plugin;         // --plugin: the module to load instead of the one beside the tool
    std::string sampleOutput;   // --sample: render the built-in sample into this file
    std::string sampleSource;   // --write-sample: save the unblurred built-in sample into this file
    std::uint32_t maxMegapixels = kDefaultMaxMegapixels;  // --max-megapixels: larger files are refused; 0: no limit
    int quality = 95;           // --quality: JPEG quality 1..100
    bool strip = false;         // --strip: write no metadata
    bool help = false;
    bool verbose = false;
    bool progress = false;      // --progress: draw the bar even when standard error is no terminal

    bool RendersSample() const { return !sampleOutput.empty(); }
    bool Renders() const { return RendersSample() || !output.empty(); }
    std::uint64_t MaxPixels() const { return std::uint64_t{maxMegapixels} * 1000000u; }
};

// Parses the arguments after the program name. On failure the message names the offending argument;
// `options` then holds whatever was parsed before it.
ToolStatus ParseToolOptions(std::span<const std::string> arguments, ToolOptions& options);

// Looks at the named files (parsing does not): refuses an output that is the same file as an input or
// as the other output, whichever way the names are written.
ToolStatus CheckFileRoles(const ToolOptions& options);

// The --help text: usage, every option with its range and default, and the exit codes.
std::string UsageText();

// The settings in words, one "option value" pair per setting in the table's order, for
// --verbose (for example "amount 5, brightness 25, ..., method normal, correction gamma, ...").
std::string DescribeSettings(const FilterParameters& settings);

// Exit codes of the tool.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read or written, or the filter failed
inline constexpr int kExitUsage = 2;    // the command line is wrong

}  // namespace aperlume::tool
