// The host-service layer for scripting and image delivery: every record is tested before the plug-in
// calls into it, since hosts hand over incomplete suites (null procedure slots, old versions).
#include "scripting/host_services.h"

#include "host/pstring.h"
#include "scripting/host_handles.h"

namespace aperlume {
namespace {

constexpr std::int16_t kReadProcedureCount = 18;
constexpr std::int16_t kWriteProcedureCount = 16;

// The interface version a host needs to deliver image data (advanceState came with 3.0).
constexpr std::int32_t kRequiredInterfaceMajor = 3;
constexpr std::int32_t kRequiredInterfaceMinor = 0;

bool AllReadProceduresPresent(const ReadDescriptorProcs& procs) {
    const void* slots[kReadProcedureCount] = {
        reinterpret_cast<const void*>(procs.openReadDescriptorProc),
        reinterpret_cast<const void*>(procs.closeReadDescriptorProc),
        reinterpret_cast<const void*>(procs.getKeyProc),
        reinterpret_cast<const void*>(procs.getIntegerProc),
        reinterpret_cast<const void*>(procs.getFloatProc),
        reinterpret_cast<const void*>(procs.getUnitFloatProc),
        reinterpret_cast<const void*>(procs.getBooleanProc),
        reinterpret_cast<const void*>(procs.getTextProc),
        reinterpret_cast<const void*>(procs.getAliasProc),
        reinterpret_cast<const void*>(procs.getEnumeratedProc),
        reinterpret_cast<const void*>(procs.getClassProc),
        reinterpret_cast<const void*>(procs.getSimpleReferenceProc),
        reinterpret_cast<const void*>(procs.getObjectProc),
        reinterpret_cast<const void*>(procs.getCountProc),
        reinterpret_cast<const void*>(procs.getStringProc),
        reinterpret_cast<const void*>(procs.getPinnedIntegerProc),
        reinterpret_cast<const void*>(procs.getPinnedFloatProc),
        reinterpret_cast<const void*>(procs.getPinnedUnitFloatProc),
    };
    for (const void* slot : slots)
        if (slot == nullptr) return false;
    return true;
}

// The write procedures the plug-in calls. A host that lacks one of them would otherwise be called
// through a null pointer at finish.
bool UsedWriteProceduresPresent(const WriteDescriptorProcs& procs) {
    return procs.openWriteDescriptorProc != nullptr && procs.closeWriteDescriptorProc != nullptr &&
           procs.putIntegerProc != nullptr && procs.putEnumeratedProc != nullptr;
}

// A descriptor is always the host's handle. Without usable host handle procedures the plug-in's own
// disposal would treat it as one of its own handles and corrupt the host's memory, so it is left to the
// host then.
void ReleaseDescriptor(const HandleProcs* handleProcs, Handle descriptor) {
    if (descriptor != nullptr && UsableHandleProcs(handleProcs)) HostDisposeHandle(handleProcs, descriptor);
}

PString RequiredVersionText() {
    PString text{};
    LongToPString(kRequiredInterfaceMajor, text);
    const std::uint8_t fraction[] = {'.', static_cast<std::uint8_t>('0' + kRequiredInterfaceMinor)};
    AppendToPString(text, fraction, 0, sizeof fraction);
    return text;
}

}  // namespace

bool DescriptorSuiteAvailable(const PIDescriptorParameters* parameters) {
    if (parameters == nullptr || parameters->descriptorParametersVersion != 0) return false;
    const ReadDescriptorProcs* read = parameters->readDescriptorProcs;
    const WriteDescriptorProcs* write = parameters->writeDescriptorProcs;
    if (read == nullptr || write == nullptr) return false;
    if (read->readDescriptorProcsVersion != 0 || read->numReadDescriptorProcs < kReadProcedureCount) return false;
    if (write->writeDescriptorProcsVersion != 0 || write->numWriteDescriptorProcs < kWriteProcedureCount)
        return false;
    return AllReadProceduresPresent(*read) && UsedWriteProceduresPresent(*write);
}

Result CloseDescriptorReader(PIDescriptorParameters& parameters, const HandleProcs* handleProcs,
                             PIReadDescriptor& token) {
    const Result error = parameters.readDescriptorProcs->closeReadDescriptorProc(token);
    ReleaseDescriptor(handleProcs, parameters.descriptor);
    parameters.descriptor = nullptr;
    token = nullptr;
    return error;
}

void CloseDescriptorWriter(PIDescriptorParameters& parameters, const HandleProcs* handleProcs,
                           PIWriteDescriptor& token) {
    ReleaseDescriptor(handleProcs, parameters.descriptor);
    parameters.descriptor = nullptr;
    Handle written = nullptr;
    (void)parameters.writeDescriptorProcs->closeWriteDescriptorProc(token, &written);  // hosts' results vary
    parameters.descriptor = written;
    parameters.recordInfo = 0;
    token = nullptr;
}

bool WantsDialog(const PIDescriptorParameters& parameters) { return parameters.playInfo == 1; }

bool CheckAdvanceState(AdvanceStateProc advanceState, void* module, NoImageServiceAlert alert) {
    if (advanceState != nullptr) return true;
    if (alert != nullptr) alert(module, RequiredVersionText());
    return false;
}

}  // namespace aperlume
