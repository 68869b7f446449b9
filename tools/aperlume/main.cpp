// aperlume: the command-line lens blur. Loads the plug-in module, reads an image file (or draws the
// built-in sample), replays the filter over it with the settings of the command line, and writes the
// result with the input's metadata.
// Everything that can be wrong with the command line or the inputs is found before the render, and
// outputs are written only after a successful run, each through a temporary file (output_file.h).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "tools/aperlume/filter_replay.h"
#include "tools/aperlume/output_file.h"
#include "tools/aperlume/image_file.h"
#include "tools/aperlume/progress_bar.h"
#include "tools/aperlume/sample_image.h"
#include "tools/aperlume/tool_options.h"
#include "tools/aperlume/tool_platform.h"
#include "tools/host/module_loader.h"

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

// Where this build puts the module relative to the executable, or else right beside it.
std::string DefaultModulePath() {
    namespace fs = std::filesystem;
    const fs::path folder = ExecutableFolder().empty() ? fs::path(".") : fs::path(ExecutableFolder());
    const fs::path built = (folder / APERLUME_MODULE_RELATIVE_PATH).lexically_normal().make_preferred();
    const fs::path beside = (folder / APERLUME_MODULE_FILE_NAME).make_preferred();
    std::error_code error;
    if (!fs::exists(built, error) && fs::exists(beside, error)) return beside.string();
    return built.string();
}

std::string DescribeImage(const ToolImage& image) {
    const char* kind = image.planes <= 2 ? (image.planes == 2 ? "gray+alpha" : "gray")
                                         : (image.planes == 4 ? "RGBA" : "RGB");
    return std::to_string(image.width) + "x" + std::to_string(image.height) + " " + kind + ", " +
           std::to_string(image.BytesPerSample() * 8) + "-bit";
}

int RunTool(const std::vector<std::string>& arguments) {
    ToolOptions options;
    if (ToolStatus s = ParseToolOptions(arguments, options); !s.ok()) return Fail(s.message, kExitUsage);
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitSuccess;
    }

    if (ToolStatus s = CheckFileRoles(options); !s.ok()) return Fail(s.message, kExitUsage);

    // Inputs first: nothing is written unless all of them are good.
    ToolImage image;
    ImageMetadata metadata;
    if (options.RendersSample() || !options.Renders()) {
        image = BuildSampleImage();
    } else {
        if (ToolStatus s = ReadImage(options.input, image, &metadata, {options.MaxPixels()}); !s.ok())
            return Fail(s.message, kExitFailure);
    }
    std::vector<std::uint8_t> selection;
    if (!options.selection.empty()) {
        ToolImage raster;
        if (ToolStatus s = ReadImage(options.selection, raster, nullptr, {options.MaxPixels(), SampleRange::File}); !s.ok())
            return Fail(s.message, kExitFailure);
        if (ToolStatus s = SelectionFromImage(raster, image.width, image.height, options.selection, selection); !s.ok())
            return Fail(s.message, kExitFailure);
    }
    const std::string output = options.RendersSample() ? options.sampleOutput : options.output;
    for (const std::string* path : {&output, static_cast<const std::string*>(&options.sampleSource)})
        if (!path->empty()) {
            if (ToolStatus s = CheckOutputPath(*path); !s.ok()) return Fail(s.message, kExitFailure);
            if (ToolStatus s = CheckOutputFormat(*path, image.planes); !s.ok()) return Fail(s.message, kExitFailure);
        }
    if (options.strip) metadata = ImageMetadata();

    if (options.settings.depth != 0 && selection.empty())
        Warn("--depth-map uses the selection as depth map; without --selection the whole image is at depth 255");
    if (options.settings.depth != 0 && options.settings.method != 0)
        Warn("--depth-map has effect only with --method normal");

    ToolImage result;
    if (options.Renders()) {
        const std::string modulePath = options.plugin.empty() ? DefaultModulePath() : options.plugin;
        testhost::PluginModule module;
        if (!module.Load(testhost::PlatformPath(modulePath)))
            return Fail("cannot load the plug-in " + modulePath + ": " + module.Error(), kExitFailure);
        if (options.verbose) {
            std::printf("plug-in: %s\n", modulePath.c_str());
            std::printf("image: %s%s\n", DescribeImage(image).c_str(), selection.empty() ? "" : ", with a selection");
            std::printf("metadata carried: %s\n", DescribeMetadata(metadata).c_str());
            std::printf("settings sent: %s\n", DescribeSettings(options.settings).c_str());
        }

        ProgressBar bar(stderr);
        const bool showProgress = options.progress || StandardErrorIsTerminal();
        ReplayJob job;
        job.image = std::move(image);  // moved, not copied: it becomes the host's input document
        job.selection = std::move(selection);
        job.settings = options.settings;
        if (showProgress) job.progress = [&bar](std::int32_t done, std::int32_t total) { bar.Update(done, total); };
        job.cancel = &interrupted;
        std::signal(SIGINT, OnInterrupt);
        const auto started = std::chrono::steady_clock::now();
        ReplayOutcome outcome = ReplayFilter(module.Entry(), std::move(job));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::signal(SIGINT, SIG_DFL);
        if (showProgress && outcome.result == kNoError) bar.Update(1, 1);  // the last report may fall short
        bar.Finish();
        // An interrupt the filter did not see (it came after the last check) still means "stop".
        if (outcome.result == kNoError && interrupted != 0) outcome.result = kUserCanceled;
        if (outcome.result != kNoError)
            return Fail("the filter failed: " + ResultCodeText(outcome.result) + "; nothing was written", kExitFailure);
        if (options.verbose) {
            if (outcome.recorded)
                std::printf("settings recorded: %s\n", DescribeSettings(outcome.recordedSettings).c_str());
            else
                std::printf("settings recorded: none (the plug-in wrote no descriptor)\n");
            std::printf("time: %.2f s\n", seconds);
        }
        result = std::move(outcome.output);
    }

    const EncodeSettings encoding{options.quality};
    if (!options.sampleSource.empty()) {
        if (ToolStatus s = WriteImage(options.sampleSource, BuildSampleImage(), {}, encoding); !s.ok())
            return Fail(s.message, kExitFailure);
        if (options.verbose) std::printf("wrote %s\n", options.sampleSource.c_str());
    }
    if (options.Renders()) {
        std::vector<std::string> dropped;
        if (ToolStatus s = WriteImage(output, result, metadata, encoding, &dropped); !s.ok())
            return Fail(s.message, kExitFailure);
        for (const std::string& what : dropped) Warn(output + " cannot hold " + what + "; it was left out");
        if (options.verbose) std::printf("wrote %s\n", output.c_str());
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
