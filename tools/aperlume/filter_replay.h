// One run of the plug-in over an image, driven as a host replays a recorded action: the settings go
// in as a scripting descriptor with play information 0 (no dialog), the selectors prepare, start,
// continue and finish are called (a replay makes no parameters call), and the descriptor the plug-in
// writes at finish is read back.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/filter_parameters.h"
#include "base/result.h"
#include "tools/host/filter_host.h"
#include "tools/imagefile/tool_image.h"

namespace aperlume::tool {

using ProgressListener = std::function<void(std::int32_t done, std::int32_t total)>;

// The image and the selection are moved into the host (the image's samples become its document) and
// come back as the outcome's output: the run takes no copy of the input beyond the output document.
struct ReplayJob {
    ToolImage image;
    std::vector<std::uint8_t> selection;                 // one byte per pixel, or empty for none
    FilterParameters settings{};
    ProgressListener progress;                           // called for every progress report, may be empty
    const volatile std::sig_atomic_t* cancel = nullptr;  // the host's abort answers yes once this is non-zero
};

struct ReplayOutcome {
    ResultCode result = kNoError;  // the first non-zero result word of the run
    ToolImage output;              // the output document after the run (after a failed one: what the plug-in left)
    bool recorded = false;         // the plug-in wrote a descriptor at finish
    FilterParameters recordedSettings{};  // what it held (keys it lacked keep the values sent)
};

// Runs the plug-in behind `entry` once. One run at a time per process.
ReplayOutcome ReplayFilter(testhost::PluginEntry entry, ReplayJob job);

// The plug-in's result word in words: "out of memory", "cancelled", "bad parameters",
// "image mode not supported", or "error N" for any other code.
std::string ResultCodeText(ResultCode code);

}  // namespace aperlume::tool
