// Selector dispatch and the context's life in the host's data slot.
#include "host/protocol/dispatch.h"

#include "host/global_memory.h"
#include "host/movable_handle.h"
#include "host/process_state.h"
#include "host/protocol/filter_run.h"
#include "base/result.h"
#include "scripting/host_handles.h"
#include "ui/about_box.h"

namespace aperlume {
namespace {

void Prepare(FilterRecord& record) {
    record.bufferSpace = 0;
    record.maxSpace = 0;
}

void Bind(PluginContext& context, FilterRecord* record, std::int16_t* result) {
    context.result = result;
    context.filterRecord = record;
}

// Fireworks keeps the context in one of its own handles, locked for the length of each call.
PluginContext* ObtainContextInHostHandle(FilterRecord* record, std::intptr_t* data, std::int16_t* result) {
    const HandleProcs* procs = record->handleProcs;
    auto handle = reinterpret_cast<Handle>(*data);
    if (handle != nullptr) {
        auto* context = static_cast<PluginContext*>(HostLockHandle(procs, handle, 1));
        if (context == nullptr) return nullptr;
        Bind(*context, record, result);
        *result = kNoError;
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
    Bind(*context, record, result);
    *result = kNoError;
    ResetContext(*context);
    *data = reinterpret_cast<std::intptr_t>(handle);
    return context;
}

// Every other host keeps the context's address; the context lives in locked movable memory that is
// never released by the plug-in (it lives as long as the host keeps the data slot).
PluginContext* ObtainContextInSlot(FilterRecord* record, std::intptr_t* data, std::int16_t* result) {
    auto* context = reinterpret_cast<PluginContext*>(*data);
    if (context != nullptr) {
        Bind(*context, record, result);
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
    Bind(*context, record, result);
    ResetContext(*context);
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

void RunSelector(std::int16_t selector, PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    switch (selector) {
        case kSelectorParameters:
            ResetContext(context);
            context.showDialog = 1;
            break;
        case kSelectorPrepare:
            Prepare(record);
            break;
        case kSelectorStart:
            StartFilter(context);
            break;
        case kSelectorContinue:
            ContinueFilter(context);
            break;
        case kSelectorFinish:
            FinishFilter(context);
            break;
        default:
            SetResult(context, kBadParameters);
            break;
    }
}

}  // namespace

void ResetContext(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    record.supportsPadding = 0;
    context.previewPixels = nullptr;
    context.previewMask = nullptr;
    context.transparencyPlane = nullptr;
    context.apertureThumb = nullptr;
    context.hasTransparency =
        (record.planes == 3 || record.planes == 1) && record.inTransparencyMask != 0 ? 1 : 0;
    if (record.parameters != nullptr) return;  // an existing block is never reset, resized or checked
    Handle block = NewHandle(static_cast<std::int32_t>(sizeof(FilterParameters)));
    if (block == nullptr) {
        SetResult(context, kOutOfMemory);
        return;
    }
    // The block belongs to the host's parameters handle from now on; the plug-in never releases it.
    record.parameters = block;
    *static_cast<FilterParameters*>(HandleData(block)) = kDefaultParameters;
}

void DispatchSelector(std::int16_t selector, void* record, std::intptr_t* data, std::int16_t* result) {
    if (result == nullptr) return;
    if (selector == kSelectorAbout) {
        *result = kNoError;
        ShowAboutBox(static_cast<const AboutRecord*>(record));
        return;
    }
    auto* filterRecord = static_cast<FilterRecord*>(record);
    if (filterRecord == nullptr || data == nullptr) {
        *result = kBadParameters;
        return;
    }
    const bool hostHandle = GetHostKind() == HostFireworks;
    PluginContext* context = hostHandle ? ObtainContextInHostHandle(filterRecord, data, result)
                                        : ObtainContextInSlot(filterRecord, data, result);
    if (context == nullptr) {
        *result = kOutOfMemory;
        return;
    }
    if (hostHandle) {
        // The result word was set to 0 before a new context's reset, so its -108 stays.
        RunSelector(selector, *context);
        if (*data != 0) HostUnlockHandle(filterRecord->handleProcs, reinterpret_cast<Handle>(*data));
        return;
    }
    ContextCallLock lock(context);
    // A -108 from a new context's parameter block is dropped here: parameters and start retry it.
    *result = kNoError;
    if (GetHostKind() == HostPremiere) filterRecord->wholeSize = filterRecord->imageSize;
    RunSelector(selector, *context);
}

}  // namespace aperlume
