// Test support: check points that count the preview's checks and the host's aborts, stop at a chosen
// one and record the progress, as the engine's callers implement them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/render.h"

namespace aperlume::testing {

// What the check points saw.
struct CheckLog {
    std::int32_t abortCalls = 0;
    std::int32_t abortAtCall = 0;  // the host's abort answers yes at this call (1-based), 0: never
    std::vector<std::int32_t> progressDone;
    std::vector<std::int32_t> progressTotal;
    std::int32_t previewChecks = 0;
    std::int32_t previewStopAtCheck = 0;  // the preview's check answers yes at this check (1-based), 0: never
};

// Check points as the caller implements them: outside a preview the preview's check answers no at once
// (and is not counted), as it does in the final run.
class CountingCheckPoints final : public CheckPoints {
public:
    explicit CountingCheckPoints(CheckLog& log) : log_(log) {}

    void StartPreview() { preview_ = true; }

    bool PreviewInterrupted() override {
        if (!preview_) return false;
        ++log_.previewChecks;
        return log_.previewStopAtCheck != 0 && log_.previewChecks == log_.previewStopAtCheck;
    }
    bool HostAborted() override {
        ++log_.abortCalls;
        return log_.abortAtCall != 0 && log_.abortCalls == log_.abortAtCall;
    }
    void Progress(std::int32_t done, std::int32_t total) override {
        log_.progressDone.push_back(done);
        log_.progressTotal.push_back(total);
    }

private:
    CheckLog& log_;
    bool preview_ = false;
};

}  // namespace aperlume::testing
