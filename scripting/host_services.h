// Checked access to the host's scripting descriptor procedures, and the start-up check that the host
// can deliver image data at all.
#pragma once

#include "host/host_records.h"
#include "base/result.h"

namespace aperlume {

// True when the host's descriptor suite can be used: the block and both procedure records present, the
// versions 0, the read record with at least 18 procedures all present, the write record with at least 16
// and its open, close, put-integer and put-enumerated procedures present.
[[nodiscard]] bool DescriptorSuiteAvailable(const PIDescriptorParameters* parameters);

// Closes a reader: returns the host's close result, releases the descriptor that was read and clears it
// and the token.
ResultCode CloseDescriptorReader(PIDescriptorParameters& parameters, const HandleProcs* handleProcs,
                                 PIReadDescriptor& token);

// Closes a writer: the previous descriptor is released, the new one takes its place, recordInfo becomes
// 0 and the token is cleared. Always 0.
ResultCode CloseDescriptorWriter(PIDescriptorParameters& parameters, const HandleProcs* handleProcs,
                                 PIWriteDescriptor& token);

// True when the host asks for the dialog (playInfo 1).
[[nodiscard]] bool WantsDialog(const PIDescriptorParameters& parameters);

// True when the host offers advanceState. Otherwise tells the user, in an alert loaded from `module`, that
// the host needs interface version 3.0, and returns false.
[[nodiscard]] bool CheckAdvanceState(AdvanceStateProc advanceState, void* module);

}  // namespace aperlume
