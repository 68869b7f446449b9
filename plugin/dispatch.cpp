// Selector dispatch and the context's life in the host's data slot.
#include "plugin/dispatch.h"

#include "host/global_memory.h"
#include "host/movable_handle.h"
#include "host/process_state.h"
#include "plugin/filter_run.h"
#include "base/result.h"
#include "scripting/host_handles.h"
#include "ui/about_box.h"

namespace aperlume {
namespace {

void Prepare(FilterRecord& record) {
    record.bufferSpace = 0;
    record.maxSpace = 0;
}

// Fireworks keeps the context in one of its own handles, locked for the length of each call. A new
// context whose parameter block cannot be made leaves kOutOfMemory in `pending`.
PluginContext* ObtainContextInHostHandle(FilterRecord* record, std::intptr_t* data, Result& pending) {
    const HandleProcs* procs = record->handleProcs;
    auto handle = reinterpret_cast<Handle>(*data);
    if (handle != nullptr) {
        auto* context = static_cast<PluginContext*>(HostLockHandle(procs, handle, 1));
        if (context == nullptr) return nullptr;
        context->filterRecord = record;
        return context;
    }
    handle = HostNewHandle(procs, static_cast<std::int32_t>(sizeof(PluginContext)));
    if (handle == nullptr) return nullptr;
    auto* context = static_cast<PluginContext*>(HostLockHandle(procs, handle, 1));
    if (context == nullptr) {
        HostDisposeHandle(procs, handle);
        return nullptr;
    }
    // Whether a host handle starts cleared depends on the host; the context must start zeroed.
    *context = PluginContext{};
    context->filterRecord = record;
    pending = ResetContext(*context);
    *data = reinterpret_cast<std::intptr_t>(handle);
    return context;
}

// Every other host keeps the context's address; the context lives in locked movable memory that is
// never released by the plug-in (it lives as long as the host keeps the data slot). A new context's
// failure to make the parameter block is not reported: parameters and start retry it.
PluginContext* ObtainContextInSlot(FilterRecord* record, std::intptr_t* data) {
    auto* context = reinterpret_cast<PluginContext*>(*data);
    if (context != nullptr) {
        context->filterRecord = record;
        return context;
    }
    MovableBlock block = AllocateMovable(sizeof(PluginContext));
    if (block == nullptr) return nullptr;
    context = static_cast<PluginContext*>(LockMovable(block));
    if (context == nullptr) {
        FreeMovable(block);
        return nullptr;
    }
    *data = reinterpret_cast<std::intptr_t>(context);
    context->filterRecord = record;
    static_cast<void>(ResetContext(*context));
    return context;
}

// The platform lock and unlock paired around one call; they leave the context where it is.
class ContextCallLock {
public:
    explicit ContextCallLock(PluginContext* context) : block_(MovableFromAddress(context)) {
        if (block_ != nullptr) LockMovable(block_);
    }
    ~ContextCallLock() {
        if (block_ != nullptr) UnlockMovable(block_);
    }
    ContextCallLock(const ContextCallLock&) = delete;
    ContextCallLock& operator=(const ContextCallLock&) = delete;

private:
    MovableBlock block_;
};

Result RunSelector(std::int16_t selector, PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    switch (selector) {
        case kSelectorParameters: {
            const Result reset = ResetContext(context);
            context.showDialog = 1;
            return reset;
        }
        case kSelectorPrepare:
            Prepare(record);
            return kOk;
        case kSelectorStart:
            return StartFilter(context);
        case kSelectorContinue:
            return ContinueFilter(context);
        case kSelectorFinish:
            FinishFilter(context);
            return kOk;
        default:
            return kBadParameters;
    }
}

// The selector's outcome, reporting a new context's `pending` failure unless the handler failed itself.
// Start reports only its own outcome: it makes the parameter block again before it needs it.
Result Outcome(std::int16_t selector, Result handled, Result pending) {
    if (selector == kSelectorStart || !handled.ok()) return handled;
    return pending;
}

Result Dispatch(std::int16_t selector, void* record, std::intptr_t* data) {
    if (selector == kSelectorAbout) {
        ShowAboutBox(static_cast<const AboutRecord*>(record));
        return kOk;
    }
    auto* filterRecord = static_cast<FilterRecord*>(record);
    if (filterRecord == nullptr || data == nullptr) return kBadParameters;
    if (GetHostKind() == HostFireworks) {
        Result pending = kOk;
        PluginContext* context = ObtainContextInHostHandle(filterRecord, data, pending);
        if (context == nullptr) return kOutOfMemory;
        const Result handled = RunSelector(selector, *context);
        if (*data != 0) HostUnlockHandle(filterRecord->handleProcs, reinterpret_cast<Handle>(*data));
        return Outcome(selector, handled, pending);
    }
    PluginContext* context = ObtainContextInSlot(filterRecord, data);
    if (context == nullptr) return kOutOfMemory;
    ContextCallLock lock(context);
    if (GetHostKind() == HostPremiere) filterRecord->wholeSize = filterRecord->imageSize;
    return RunSelector(selector, *context);
}

}  // namespace

Result ResetContext(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    record.supportsPadding = 0;
    context.hasTransparency =
        (record.planes == 3 || record.planes == 1) && record.inTransparencyMask != 0 ? 1 : 0;
    if (record.parameters != nullptr) return kOk;  // an existing block is never reset, resized or checked
    Handle block = NewHandle(static_cast<std::int32_t>(sizeof(FilterParameters)));
    if (block == nullptr) return kOutOfMemory;
    // The block belongs to the host's parameters handle from now on; the plug-in never releases it.
    record.parameters = block;
    *static_cast<FilterParameters*>(HandleData(block)) = kDefaultParameters;
    return kOk;
}

void DispatchSelector(std::int16_t selector, void* record, std::intptr_t* data, std::int16_t* result) {
    if (result == nullptr) return;
    *result = Dispatch(selector, record, data).code();
}

}  // namespace aperlume
