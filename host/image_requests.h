// The plug-in's requests for image data through the FilterRecord: the whole image at once, the copy of
// the source to the output, and the selection's bounds as the rectangle to filter.
#pragma once

#include "base/result.h"
#include "host/host_records.h"

namespace aperlume {

// Requests the whole image with all planes and calls advanceState. Returns its result (kUserCanceled
// for a host without advanceState).
[[nodiscard]] Result FetchWholeImage(FilterRecord& record);

// Copies the delivered input rows into the output buffer (both cover the whole image).
void CopyInputToOutput(const FilterRecord& record);

// filterRect := the bounds of the non-zero mask bytes, or the whole image without a selection.
void ComputeSelectionBounds(FilterRecord& record);

}  // namespace aperlume
