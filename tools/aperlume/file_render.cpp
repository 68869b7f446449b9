// Rendering one file.
#include "tools/aperlume/file_render.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "tools/aperlume/filter_replay.h"
#include "tools/aperlume/sample_image.h"
#include "tools/aperlume/selection_image.h"
#include "tools/aperlume/tool_platform.h"
#include "tools/host/module_loader.h"
#include "tools/imagefile/image_file.h"
#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

constexpr std::int32_t kProgressSteps = 1000000;

std::string DescribeImage(const ToolImage& image) {
    const char* kind = image.channels <= 2 ? (image.channels == 2 ? "gray+alpha" : "gray")
                                           : (image.channels == 4 ? "RGBA" : "RGB");
    return SizeText(image.width, image.height) + " " + kind + ", " + std::to_string(image.bitDepth) + "-bit";
}

}  // namespace

FileRenderer::FileRenderer(const ToolOptions& options, std::string modulePath, const volatile std::sig_atomic_t* cancel)
    : options_(options),
      modulePath_(std::move(modulePath)),
      cancel_(cancel),
      bar_(stderr),
      showProgress_(options.progress || StandardErrorIsTerminal()) {}

ToolStatus FileRenderer::Prepare() {
    if (!options_.selection.empty())
        if (ToolStatus s = ReadImage(options_.selection, selection_, nullptr, {options_.MaxPixels(), SampleRange::File});
            !s.ok())
            return s;
    testhost::PluginModule module;
    if (!module.Load(testhost::PlatformPath(modulePath_)))
        return ToolStatus::Failure("cannot load the plug-in " + modulePath_ + ": " + module.Error());
    if (options_.verbose) std::printf("plug-in: %s\n", modulePath_.c_str());
    return ToolStatus::Success();
}

void FileRenderer::SetShare(double start, double share) {
    start_ = start;
    share_ = share;
}

void FileRenderer::FinishProgress() {
    if (showProgress_ && allDone_) bar_.Update(1, 1);  // the last report may fall short
    bar_.Finish();
}

ToolStatus FileRenderer::Render(const std::string& input, const std::string& output) {
    allDone_ = false;
    ToolImage image;
    ImageMetadata metadata;
    if (input.empty()) {
        image = BuildSampleImage();
    } else if (ToolStatus s = ReadImage(input, image, &metadata, {options_.MaxPixels()}); !s.ok()) {
        return s;
    }
    std::vector<std::uint8_t> selection;
    if (!options_.selection.empty())
        if (ToolStatus s = SelectionFromImage(selection_, image.width, image.height, options_.selection, selection);
            !s.ok())
            return s;
    if (ToolStatus s = CheckOutputPath(output); !s.ok()) return s;
    // JPEG cannot hold alpha: with --background it is flattened after the filter; without, refused
    // before it. PNG and TIFF keep it whatever --background says.
    ImageFormat format = ImageFormat::Png;
    const bool jpeg = OutputFormatOf(output, format).ok() && format == ImageFormat::Jpeg;
    const bool flatten = HasAlpha(image) && jpeg && options_.background.has_value();
    if (ToolStatus s = CheckOutputFormat(output, flatten ? image.channels - 1 : image.channels); !s.ok()) {
        if (!HasAlpha(image) || !jpeg) return s;
        return ToolStatus::Failure(s.message + ", or flatten it onto a colour with --background (white, black or "
                                               "'#RRGGBB')");
    }
    if (HasAlpha(image) && !jpeg && options_.background && !backgroundUnusedTold_) {
        bar_.Finish();
        std::fprintf(stderr, "aperlume: warning: --background flattens alpha only for a JPEG output; %s keeps its "
                     "alpha\n", output.c_str());
        backgroundUnusedTold_ = true;  // once a run: a batch of such files needs no more
    }
    if (options_.strip) metadata = ImageMetadata();

    // The module is loaded afresh for every file. The plug-in's Monte Carlo noise continues one
    // process-wide random sequence from run to run, as it does in an editor; a new load starts the
    // sequence anew, so each file gets the noise of a run of the tool on that file alone. (Natively the
    // module is built without unique symbols so that unloading it really drops its state.)
    testhost::PluginModule module;
    if (!module.Load(testhost::PlatformPath(modulePath_)))
        return ToolStatus::Failure("cannot load the plug-in " + modulePath_ + ": " + module.Error());
    if (options_.verbose) {
        bar_.Finish();
        if (options_.Batch()) std::printf("file: %s -> %s\n", input.c_str(), output.c_str());
        std::printf("image: %s%s\n", DescribeImage(image).c_str(), selection.empty() ? "" : ", with a selection");
        std::printf("metadata carried: %s\n", DescribeMetadata(metadata).c_str());
        std::printf("settings sent: %s\n", DescribeSettings(options_.settings).c_str());
    }

    ReplayJob job;
    job.image = std::move(image);  // moved, not copied: it becomes the host's input document
    job.selection = std::move(selection);
    job.settings = options_.settings;
    if (showProgress_)
        job.progress = [this](std::int32_t done, std::int32_t total) {
            const double part = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
            bar_.Update(static_cast<std::int32_t>((start_ + share_ * part) * kProgressSteps), kProgressSteps);
        };
    job.cancel = cancel_;
    const auto started = std::chrono::steady_clock::now();
    ReplayOutcome outcome = ReplayFilter(module.Entry(), std::move(job));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // An interrupt the filter did not see (it came after the last check) still means "stop".
    if (outcome.result == kNoError && *cancel_ != 0) outcome.result = kUserCanceled;
    if (outcome.result != kNoError)
        return ToolStatus::Failure("the filter failed: " + ResultCodeText(outcome.result) + "; nothing was written");
    if (options_.verbose) {
        bar_.Finish();
        if (outcome.recorded)
            std::printf("settings recorded: %s\n", DescribeSettings(outcome.recordedSettings).c_str());
        else
            std::printf("settings recorded: none (the plug-in wrote no descriptor)\n");
        std::printf("time: %.2f s\n", seconds);
    }

    if (flatten) FlattenAlpha(outcome.output, *options_.background);
    std::vector<std::string> dropped;
    if (ToolStatus s = WriteImage(output, outcome.output, metadata, {options_.quality}, &dropped); !s.ok()) return s;
    if (!dropped.empty()) bar_.Finish();
    for (const std::string& what : dropped)
        std::fprintf(stderr, "aperlume: warning: %s cannot hold %s; it was left out\n", output.c_str(), what.c_str());
    if (options_.verbose) std::printf("wrote %s\n", output.c_str());
    allDone_ = true;
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
