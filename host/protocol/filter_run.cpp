// Start and continue: the plug-in asks for the whole image at once, copies it to the output, and renders
// it in one continue call.
#include "host/protocol/filter_run.h"

#include "engine/render_driver.h"
#include "host/image_exchange.h"
#include "host/protocol/dispatch.h"
#include "host/process_state.h"
#include "base/result.h"
#include "scripting/host_services.h"
#include "scripting/script_parameters.h"
#include "ui/main_dialog.h"

namespace aperlume {
namespace {

bool IsEmpty(const Rect& rect) { return rect.top == rect.bottom || rect.left == rect.right; }

// The steps of start up to the host's second advanceState; false when the run must end.
bool PrepareRun(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    SetResult(context, kNoError);
    if (!CheckAdvanceState(record.advanceState, GetModuleInstance())) {
        SetResult(context, kUserCanceled);
        return false;
    }
    ResetContext(context);
    if (Parameters(context) == nullptr) return false;  // ResetContext left -108
    // May change settings and decide on the dialog; a descriptor error it leaves in the result word is
    // replaced by the dialog's end or by the next advanceState.
    (void)ReadScriptParameters(context);
    if (context.showDialog != 0) {
        context.showDialog = 0;
        if (!ShowMainDialog(context)) return false;  // cancel leaves -128
    } else {
        FetchWholeImage(context);
        if (ResultWord(context) != kNoError) return false;
    }
    // The dialog edits the block in place; read it only now.
    FilterParameters* settings = Parameters(context);
    if (settings == nullptr) return false;

    context.renderRect = WholeImageRect(record);
    record.autoMask = 0;  // the plug-in applies the selection itself
    CopyInputToOutput(context);
    SetResult(context, record.advanceState());
    if (ResultWord(context) != kNoError) return false;

    if (DepthMapInForce(*settings)) {
        record.filterRect = context.renderRect;
    } else {
        ComputeSelectionBounds(context);
        context.renderRect = record.filterRect;
    }
    return true;
}

}  // namespace

void EndRequests(FilterRecord& record) {
    record.inRect = kEmptyRect;
    record.outRect = kEmptyRect;
    record.maskRect = kEmptyRect;
}

void StartFilter(PluginContext& context) {
    if (!PrepareRun(context)) EndRequests(*context.filterRecord);
}

void ContinueFilter(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    if (!IsEmpty(record.filterRect)) RenderLensBlur(context, true);
    // Always: the host calls continue only once.
    EndRequests(record);
}

void FinishFilter(PluginContext& context) { (void)WriteScriptParameters(context); }

}  // namespace aperlume
