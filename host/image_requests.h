// The plug-in's requests for image data through the FilterRecord: the whole image at once, the check of
// what the host delivered, the copy of the source to the output, and the selection's bounds as the
// rectangle to filter.
//
// Every reader of the host's buffers addresses them in whole-image coordinates, which is right only while
// the host has delivered exactly the whole-image request. A host that clips or tiles the rectangle,
// serves other planes, states strides too small for what it served, leaves a buffer out, or changes the
// image under the run would make those reads run out of its buffers; such a delivery is refused with
// kHostInsufficient before anything is read. Column bytes of 0 or below are tolerated (hosts that leave
// them unset pack the pixels: planes x bytes per sample).
#pragma once

#include "base/result.h"
#include "host/host_records.h"

namespace aperlume {

// The request fields for the whole image with every counted plane: rectangles, planes, rates, padding.
void RequestWholeImage(FilterRecord& record);

// Calls advanceState for the request the record holds and checks the answer: the request fields, the
// image size and the plane count must come back as they were asked, and the buffers must fit them.
// Returns advanceState's code when it fails, kUserCanceled for a host without advanceState, else kOk or
// kHostInsufficient.
[[nodiscard]] Result AdvanceState(FilterRecord& record);

// RequestWholeImage, then AdvanceState.
[[nodiscard]] Result FetchWholeImage(FilterRecord& record);

// kOk when the record holds the answer to the whole-image request with every counted plane (the input,
// the output, and the mask when there is a selection), with buffers that fit it; else kHostInsufficient.
[[nodiscard]] Result CheckWholeImageDelivered(const FilterRecord& record);

// Copies the delivered input pixels into the output buffer. kHostInsufficient (nothing copied) unless
// the whole image is delivered.
[[nodiscard]] Result CopyInputToOutput(const FilterRecord& record);

// filterRect := the bounds of the non-zero mask bytes, or the whole image without a selection.
// kHostInsufficient (filterRect unchanged) when there is a selection whose mask is not delivered whole.
[[nodiscard]] Result ComputeSelectionBounds(FilterRecord& record);

}  // namespace aperlume
