// aperlume: the command-line lens blur. Loads the plug-in module, reads an image file (or draws the
// built-in sample), replays the filter over it with the settings of the command line, and writes the
// result with the input's metadata; with --output-dir it does so for many files, one after another.
// Everything that can be wrong with the command line is found before the render, and outputs are
// written only after a successful run, each through a temporary file (output_file.h).
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/aperlume/file_render.h"
#include "tools/aperlume/file_roles.h"
#include "tools/aperlume/module_location.h"
#include "tools/aperlume/sample_image.h"
#include "tools/aperlume/setting_warnings.h"
#include "tools/aperlume/tool_options.h"
#include "tools/aperlume/tool_platform.h"
#include "tools/imagefile/file_open.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

volatile std::sig_atomic_t interrupted = 0;

// The first Ctrl-C asks the filter to stop at its next check; a second one ends the tool at once.
extern "C" void OnInterrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "aperlume: %s\n", message.c_str());
    return code;
}

void Warn(const std::string& message) { std::fprintf(stderr, "aperlume: warning: %s\n", message.c_str()); }

ModulePlaces DefaultModulePlaces() {
    return {ExecutableFolder(), APERLUME_MODULE_RELATIVE_PATH, APERLUME_MODULE_FILE_NAME,
            APERLUME_INSTALLED_MODULE_FOLDER};
}

// A settings file is read before anything else: the settings decide what the warnings say. An
// unreadable file is a failed read (1), a readable one with wrong content a wrong command line (2).
int LoadSettingsFile(ToolOptions& options) {
    const OpenedFile file = OpenFile(options.settingsFile, "rb");
    if (file == nullptr) return Fail("cannot open the settings file " + options.settingsFile, kExitFailure);
    std::string text;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0 && text.size() <= 65536;)
        text.append(chunk, got);
    const bool failed = std::ferror(file.get()) != 0;
    if (failed) return Fail("cannot read the settings file " + options.settingsFile, kExitFailure);
    if (ToolStatus s = ApplySettingsFile(text, options.settingsFile, options); !s.ok()) return Fail(s.message, kExitUsage);
    return kExitSuccess;
}

ToolStatus SaveSettingsFile(const ToolOptions& options) {
    const std::string text = SettingsFileText(options.settings);
    if (options.saveSettings == "-") {
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
            return ToolStatus::Failure("cannot write the settings to standard output");
        return ToolStatus::Success();
    }
    return WriteFileAtomically(options.saveSettings, [&text](std::FILE* file) {
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
            return ToolStatus::Failure("cannot write " + std::string("the settings"));
        return ToolStatus::Success();
    });
}

// Many files: each is reported when it fails and skipped, and the run goes on with the next.
int RunBatch(const ToolOptions& options, FileRenderer& renderer) {
    std::size_t written = 0;
    const std::size_t count = options.inputs.size();
    for (std::size_t i = 0; i < count && interrupted == 0; ++i) {
        const std::string& input = options.inputs[i];
        renderer.SetShare(static_cast<double>(i) / static_cast<double>(count), 1.0 / static_cast<double>(count));
        ToolStatus s = renderer.Render(input, BatchOutputPath(options, input));
        if (s.ok()) {
            ++written;
        } else {
            renderer.EndProgressLine();
            // Messages about a file mostly name it; those about the run (the filter's) get its name here.
            Fail(s.message.find(input) == std::string::npos ? input + ": " + s.message : s.message, kExitFailure);
        }
    }
    renderer.FinishProgress();
    const std::size_t failed = count - written;
    std::fprintf(stderr, "aperlume: %zu of %zu files written%s\n", written, count,
                 failed == 0 ? "" : ("; " + std::to_string(failed) + " failed" +
                                     (interrupted != 0 ? " or not done (interrupted)" : "")).c_str());
    return failed == 0 ? kExitSuccess : kExitFailure;
}

int RunTool(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        std::fputs(ShortUsageText().c_str(), stderr);
        return kExitUsage;
    }
    ToolOptions options;
    if (ToolStatus s = ParseToolOptions(arguments, options); !s.ok()) return Fail(s.message, kExitUsage);
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitSuccess;
    }
    if (options.version) {
        std::fputs(VersionText().c_str(), stdout);
        return kExitSuccess;
    }
    if (!options.settingsFile.empty())
        if (int code = LoadSettingsFile(options); code != kExitSuccess) return code;
    if (options.Batch()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.outputDir, error))
            return Fail("--output-dir " + options.outputDir + " is not an existing folder", kExitUsage);
    }
    if (ToolStatus s = CheckFileRoles(options); !s.ok()) return Fail(s.message, kExitUsage);
    if (!options.sampleSource.empty())
        if (ToolStatus s = CheckOutputPath(options.sampleSource); !s.ok()) return Fail(s.message, kExitFailure);

    for (const std::string& warning : IneffectiveSettings(options.settings, !options.selection.empty())) Warn(warning);
    if (!options.saveSettings.empty()) {
        if (ToolStatus s = SaveSettingsFile(options); !s.ok()) return Fail(s.message, kExitFailure);
        if (options.verbose && options.saveSettings != "-") std::printf("wrote %s\n", options.saveSettings.c_str());
    }

    if (options.Renders()) {
        std::string modulePath = options.plugin;
        if (modulePath.empty()) {
            std::string tried;
            modulePath = FindModule(DefaultModulePlaces(), tried);
            if (modulePath.empty())
                return Fail("cannot find the plug-in module (looked for " + tried + "); name it with --plugin",
                            kExitFailure);
        }
        FileRenderer renderer(options, modulePath, &interrupted);
        if (ToolStatus s = renderer.Prepare(); !s.ok()) return Fail(s.message, kExitFailure);
        std::signal(SIGINT, OnInterrupt);
        int code = kExitSuccess;
        if (options.Batch()) {
            code = RunBatch(options, renderer);
        } else {
            const std::string output = options.RendersSample() ? options.sampleOutput : options.output;
            ToolStatus s = renderer.Render(options.RendersSample() ? std::string() : options.input, output);
            renderer.FinishProgress();
            if (!s.ok()) code = Fail(s.message, kExitFailure);
        }
        std::signal(SIGINT, SIG_DFL);
        if (code != kExitSuccess) return code;
    }
    if (!options.sampleSource.empty()) {
        if (ToolStatus s = WriteImage(options.sampleSource, BuildSampleImage(), {}, {options.quality}); !s.ok())
            return Fail(s.message, kExitFailure);
        if (options.verbose) std::printf("wrote %s\n", options.sampleSource.c_str());
    }
    return kExitSuccess;
}

}  // namespace
}  // namespace aperlume::tool

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    try {
        return aperlume::tool::RunTool(arguments);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "aperlume: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "aperlume: %s\n", e.what());
    }
    return aperlume::tool::kExitFailure;
}
