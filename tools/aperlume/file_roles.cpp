// Checking the roles of the named files.
#include "tools/aperlume/file_roles.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "tools/aperlume/setting_values.h"
#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;

struct Role {
    const char* name;
    const std::string* path;
};

// `input` says which file it is: "INPUT file", "--selection file", ...
ToolStatus Replaces(const std::string& outputName, const std::string& output, const std::string& input) {
    return ToolStatus::Failure(outputName + " " + Quoted(output) + " is the " + input +
                               "; an output never replaces an input");
}

// One file, one outcome: the file pairs are few, so each pair is asked directly (hard links included).
ToolStatus CheckSingle(const ToolOptions& options) {
    const Role outputs[] = {{"OUTPUT", options.RendersSample() ? &options.sampleOutput : &options.output},
                            {"--write-sample", &options.sampleSource},
                            {"--save-settings", &options.saveSettings}};
    const Role inputs[] = {{"INPUT", &options.input}, {"--selection", &options.selection},
                           {"--plugin", &options.plugin}, {"--settings", &options.settingsFile}};
    for (const Role& output : outputs)
        for (const Role& input : inputs)
            if (SameFile(*output.path, *input.path))
                return Replaces(output.name, *output.path, std::string(input.name) + " file");
    for (std::size_t i = 0; i < std::size(outputs); ++i)
        for (std::size_t j = i + 1; j < std::size(outputs); ++j)
            if (SameFile(*outputs[i].path, *outputs[j].path))
                return ToolStatus::Failure(std::string(outputs[i].name) + " and " + outputs[j].name +
                                           " name the same file " + Quoted(*outputs[j].path));
    return ToolStatus::Success();
}

// A name that every way of writing one file's path shares: absolute, normalised, and with symbolic
// links resolved as far as the path exists. Many files are compared through it in n log n.
std::string FileKey(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error) return path;
    const fs::path resolved = fs::weakly_canonical(absolute, error);
    return (error ? absolute.lexically_normal() : resolved).string();
}

ToolStatus CheckBatch(const ToolOptions& options) {
    std::map<std::string, std::string> inputs;  // key -> the role and name, for the message
    for (const std::string& input : options.inputs) inputs.emplace(FileKey(input), "INPUT file " + Quoted(input));
    for (const Role& role : {Role{"--selection", &options.selection}, Role{"--plugin", &options.plugin},
                             Role{"--settings", &options.settingsFile}})
        if (!role.path->empty())
            inputs.emplace(FileKey(*role.path), std::string(role.name) + " file " + Quoted(*role.path));

    std::map<std::string, std::string> outputs;  // key -> what it is written from
    for (const Role& role : {Role{"--save-settings", &options.saveSettings}, Role{"--write-sample", &options.sampleSource}}) {
        if (role.path->empty()) continue;
        const std::string key = FileKey(*role.path);
        if (const auto input = inputs.find(key); input != inputs.end())
            return ToolStatus::Failure("the " + std::string(role.name) + " file would be written over the " +
                                       input->second + "; an output never replaces an input");
        if (!outputs.emplace(key, role.name).second)
            return ToolStatus::Failure("--save-settings and --write-sample name the same file " + Quoted(*role.path));
    }
    for (const std::string& input : options.inputs) {
        const std::string output = BatchOutputPath(options, input);
        const std::string key = FileKey(output);
        if (const auto same = inputs.find(key); same != inputs.end()) {
            // Each file named once: the output lands on its own input, or on another input.
            const std::string clash = key == FileKey(input) ? Quoted(input) + " would be written over itself"
                                                            : "the output of " + Quoted(input) +
                                                                  " would be written over the " + same->second;
            return ToolStatus::Failure(clash + "; an output never replaces an input (use --suffix, --format or "
                                               "another --output-dir)");
        }
        const auto [other, added] = outputs.emplace(key, input);
        if (!added)
            return ToolStatus::Failure(Quoted(input) + " and " + Quoted(other->second) + " would both be written to " +
                                       Quoted(output) + " (use --suffix, or give each file once)");
    }
    return ToolStatus::Success();
}

}  // namespace

std::string BatchOutputPath(const ToolOptions& options, const std::string& input) {
    const fs::path name = fs::path(input).filename();
    const std::string extension = options.format.empty() ? name.extension().string() : "." + options.format;
    return (fs::path(options.outputDir) / (name.stem().string() + options.suffix + extension)).string();
}

ToolStatus CheckFileRoles(const ToolOptions& options) {
    return options.Batch() ? CheckBatch(options) : CheckSingle(options);
}

}  // namespace aperlume::tool
