// Rendering one file (or the built-in sample) into one output: read, check, run the plug-in, write.
// The tool renders a single file or many through it, one after another, with one progress bar over
// the whole run.
#pragma once

#include <csignal>
#include <string>

#include "tools/aperlume/progress_bar.h"
#include "tools/aperlume/tool_options.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {

class FileRenderer {
public:
    FileRenderer(const ToolOptions& options, std::string modulePath, const volatile std::sig_atomic_t* cancel);

    // What every file shares, checked once: the selection file is read, and the module loads.
    ToolStatus Prepare();
    // The part of the progress bar the next file fills: from `start` (0..1) over `share`.
    void SetShare(double start, double share);
    // Renders `input` ("" for the built-in sample) into `output`. On failure nothing is written, and
    // the message says why (naming the file where a file is at fault).
    ToolStatus Render(const std::string& input, const std::string& output);
    // Ends the bar's line, so that a message can follow; the bar is redrawn at the next report.
    void EndProgressLine() { bar_.Finish(); }
    // Draws the bar full if the whole run went through, and ends its line.
    void FinishProgress();

private:
    const ToolOptions& options_;
    std::string modulePath_;
    const volatile std::sig_atomic_t* cancel_;
    ToolImage selection_;  // the selection file as read, converted for each image's size
    ProgressBar bar_;
    bool showProgress_;
    bool allDone_ = true;
    bool backgroundUnusedTold_ = false;  // the warning that an output keeps its alpha was given
    double start_ = 0.0;
    double share_ = 1.0;
};

}  // namespace aperlume::tool
