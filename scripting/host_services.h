// Checked access to the host's scripting descriptor procedures, and the start-up check that the host
// can deliver image data at all.
#pragma once

#include "host/host_records.h"
#include "host/pstring.h"
#include "base/result.h"

namespace aperlume {

// True when the host's descriptor suite can be used: the block and both procedure records present, the
// versions 0, the read record with at least 18 procedures all present, the write record with at least 16
// and its open, close, put-integer and put-enumerated procedures present.
[[nodiscard]] bool DescriptorSuiteAvailable(const PIDescriptorParameters* parameters);

// Closes a reader: returns the host's close result, releases the descriptor that was read and clears it
// and the token.
[[nodiscard]] Result CloseDescriptorReader(PIDescriptorParameters& parameters, const HandleProcs* handleProcs,
                                           PIReadDescriptor& token);

// Closes a writer: the previous descriptor is released, the new one takes its place, recordInfo becomes
// 0 and the token is cleared. The host's answer to the close is not acted on (hosts' answers vary).
void CloseDescriptorWriter(PIDescriptorParameters& parameters, const HandleProcs* handleProcs,
                           PIWriteDescriptor& token);

// True when the host asks for the dialog (playInfo 1).
[[nodiscard]] bool WantsDialog(const PIDescriptorParameters& parameters);

// Tells the user that the host cannot deliver image data and needs plug-in interface version
// `requiredVersion`. The caller supplies it (the dialog room's ShowNoImageServiceAlert), so that this
// room opens no windows of its own.
using NoImageServiceAlert = void (*)(void* module, const PString& requiredVersion);

// True when the host offers advanceState. Otherwise tells the user through `alert`, with the texts of
// `module`, that the host needs interface version 3.0, and returns false.
[[nodiscard]] bool CheckAdvanceState(AdvanceStateProc advanceState, void* module, NoImageServiceAlert alert);

}  // namespace aperlume
