// Engine test support: a minimal host (FilterRecord, context, result word and parameter block) that the
// methods and the render driver can run against, with counting abort and progress procedures and a
// scripted preview event pump.
#pragma once

#include <cstdint>
#include <vector>

#include "base/filter_parameters.h"
#include "host/movable_handle.h"
#include "host/plugin_context.h"
#include "host/preview_state.h"

namespace aperlume::enginetest {

// What the host's procedures saw; one instance at a time (the host's callbacks take no context).
struct HostLog {
    std::int32_t abortCalls = 0;
    std::int32_t abortAtCall = 0;  // abortProc answers true at this call (1-based), 0: never
    std::vector<std::int32_t> progressDone;
    std::vector<std::int32_t> progressTotal;
    std::int32_t previewChecks = 0;
    std::int32_t previewStopAtCheck = 0;  // the pump leaves a stop state at this check (1-based), 0: never
};

// The five settings the aperture is drawn from, over the block's defaults.
inline FilterParameters Aperture(int vertices, int edge, int ratio, int rotation, int soft) {
    FilterParameters p = kDefaultParameters;
    p.vertices = static_cast<std::int16_t>(vertices);
    p.edge = static_cast<std::int16_t>(edge);
    p.ratio = static_cast<std::int16_t>(ratio);
    p.rotation = static_cast<std::int16_t>(rotation);
    p.soft = static_cast<std::int16_t>(soft);
    return p;
}

inline HostLog* activeLog = nullptr;

extern "C" inline Boolean CountingAbort() {
    ++activeLog->abortCalls;
    return activeLog->abortAtCall != 0 && activeLog->abortCalls == activeLog->abortAtCall ? 1 : 0;
}

extern "C" inline void RecordingProgress(std::int32_t done, std::int32_t total) {
    activeLog->progressDone.push_back(done);
    activeLog->progressTotal.push_back(total);
}

// With an empty queue every preview check takes exactly one pump step, so pump steps count checks.
inline PumpStep ScriptedPump() {
    ++activeLog->previewChecks;
    if (activeLog->previewStopAtCheck != 0 && activeLog->previewChecks == activeLog->previewStopAtCheck) {
        SetPreviewState(PreviewState::AbortRequested);
        return PumpStep::Dispatched;
    }
    return PumpStep::QueueEmpty;
}

class EngineHost {
public:
    EngineHost(std::int16_t imageMode, std::int16_t planes) {
        record.imageMode = imageMode;
        record.planes = planes;
        parameters_ = NewHandle(sizeof(FilterParameters));
        record.parameters = parameters_;
        Settings() = kDefaultParameters;
        Settings().vertices = 1;
        context.result = &result;
        context.filterRecord = &record;
        activeLog = &log;
        record.abortProc = CountingAbort;
        record.progressProc = RecordingProgress;
    }
    ~EngineHost() {
        SetPreviewEventPump(nullptr);
        SetPreviewState(PreviewState::Idle);
        activeLog = nullptr;
        DisposeHandle(parameters_);
    }
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    FilterParameters& Settings() { return *static_cast<FilterParameters*>(HandleData(parameters_)); }

    // A preview render in progress, whose pump counts the checks.
    void StartPreview() {
        SetPreviewState(PreviewState::Rendering);
        SetPreviewEventPump(ScriptedPump);
    }

    FilterRecord record{};
    std::int16_t result = 0;
    PluginContext context{};
    HostLog log;

private:
    Handle parameters_ = nullptr;
};

}  // namespace aperlume::enginetest
