// The exchange of whole images with the host: requests through advanceState, the copy of the source to
// the output, the selection's bounds, and the conversion between the host's interleaved 8/16-bit samples
// and the engine's float plane buffers (0.0 black, 1.0 white; 16-bit samples use 0..32768).
//
// Every request is for the whole image, so all addressing is in whole-image coordinates:
// sample (p, r, c) lies at inData + r*inRowBytes + c*inColumnBytes + p*bytesPerSample.
#pragma once

#include <cstdint>

#include "host/plugin_context.h"

namespace aperlume {

// 2 for 16-bit grayscale and 48-bit RGB, else 1.
int BytesPerSample(const FilterRecord& record);

// Hosts that leave inColumnBytes or outColumnBytes at 0 or below get planes * bytesPerSample.
void FixColumnBytes(FilterRecord& record);

// Requests the whole image with all planes and calls advanceState; its result goes to the result word.
void FetchWholeImage(PluginContext& context);

void CopyInputToOutput(PluginContext& context);

// filterRect := the bounds of the non-zero mask bytes, or the whole image without a selection.
void ComputeSelectionBounds(PluginContext& context);

// Host samples of renderRect into `planeCount` float planes (at most 8) and, when `weights` is given,
// the selection weight of each pixel.
void ReadPlanes(PluginContext& context, int bytesPerSample, int planeCount, float* const* planes,
                float* weights);

// Float planes back into the output buffer over renderRect, blended with the source by the selection
// (unless the depth map is in force), rounded and clamped.
void WritePlanes(PluginContext& context, int bytesPerSample, int planeCount, const float* const* planes,
                 const float* weights);

}  // namespace aperlume
