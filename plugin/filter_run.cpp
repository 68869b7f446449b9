// Start and continue: the plug-in asks for the whole image at once, copies it to the output, and renders
// it in one continue call.
#include "plugin/filter_run.h"

#include "host/host_render.h"
#include "host/image_requests.h"
#include "host/process_state.h"
#include "plugin/dispatch.h"
#include "scripting/host_services.h"
#include "scripting/script_parameters.h"
#include "ui/dialog_helpers.h"
#include "ui/main_dialog.h"

namespace aperlume {
namespace {

bool IsEmpty(const Rect& rect) { return rect.top == rect.bottom || rect.left == rect.right; }

// The steps of start up to the host's second advanceState.
Result PrepareRun(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    if (!CheckAdvanceState(record.advanceState, GetModuleInstance(), &ShowNoImageServiceAlert)) return kUserCanceled;
    if (Result r = ResetContext(context); !r.ok()) return r;
    // A parameters handle whose block is missing or shorter than the settings cannot be read.
    if (Parameters(context) == nullptr) return kBadParameters;
    // May change settings and decide on the dialog. A descriptor it cannot read fully is no reason to
    // stop: what was read stands, and the dialog or the fetch below decides the run.
    static_cast<void>(ReadScriptParameters(context));
    if (context.showDialog != 0) {
        context.showDialog = 0;
        if (Result r = ShowMainDialog(context); !r.ok()) return r;
    } else {
        if (Result r = FetchWholeImage(record); !r.ok()) return r;
    }
    // The dialog edits the block in place; read it only now.
    const FilterParameters* settings = Parameters(context);
    if (settings == nullptr) return kBadParameters;

    context.renderRect = WholeImageRect(record);
    record.autoMask = 0;  // the plug-in applies the selection itself
    if (Result r = CopyInputToOutput(record); !r.ok()) return r;
    if (Result r = AdvanceState(record); !r.ok()) return r;

    if (DepthMapInForce(*settings)) {
        record.filterRect = context.renderRect;
    } else {
        if (Result r = ComputeSelectionBounds(record); !r.ok()) return r;
        context.renderRect = record.filterRect;
    }
    return kOk;
}

}  // namespace

void EndRequests(FilterRecord& record) {
    record.inRect = kEmptyRect;
    record.outRect = kEmptyRect;
    record.maskRect = kEmptyRect;
}

Result StartFilter(PluginContext& context) {
    const Result outcome = PrepareRun(context);
    if (!outcome.ok()) EndRequests(*context.filterRecord);
    return outcome;
}

Result ContinueFilter(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    Result outcome = kOk;
    if (!IsEmpty(record.filterRect)) {
        HostCheckPoints checkPoints(record);
        outcome = RenderLensBlur(record, context.renderRect, checkPoints);
    }
    // Always: the host calls continue only once.
    EndRequests(record);
    return outcome;
}

void FinishFilter(PluginContext& context) { WriteScriptParameters(context); }

}  // namespace aperlume
