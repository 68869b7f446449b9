// The check points of the render code and the host's progress bar.
#include "engine/cancel_poll.h"

#include "host/preview_state.h"
#include "base/result.h"

namespace aperlume {

bool PollCancel(PluginContext& context) {
    // The preview's check comes first: it dispatches the dialog's pending events, and a handler run by it
    // may be what asks this render to stop.
    if (CheckPreviewAbort() || HostAbortRequested(context)) {
        SetResult(context, kUserCanceled);
        return true;
    }
    return false;
}

bool HostAbortRequested(const PluginContext& context) {
    const FilterRecord* record = context.filterRecord;
    return record != nullptr && record->abortProc != nullptr && record->abortProc() != 0;
}

void ReportProgress(const PluginContext& context, std::int32_t done, std::int32_t total) {
    const FilterRecord* record = context.filterRecord;
    if (record != nullptr && record->progressProc != nullptr) record->progressProc(done, total);
}

}  // namespace aperlume
