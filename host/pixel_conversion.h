// The conversion between the host's interleaved 8/16-bit samples and the engine's float planes (0.0
// black, 1.0 white; 16-bit samples run 0..32768), over a rectangle of the whole-image buffers that
// advanceState delivered.
//
// Every request is for the whole image, so all addressing is in whole-image coordinates:
// sample (p, r, c) lies at inData + r*inRowBytes + c*inColumnBytes + p*bytesPerSample.
#pragma once

#include <span>

#include "engine/render.h"
#include "host/host_records.h"
#include "host/rect.h"

namespace aperlume {

// 2 for 16-bit grayscale and 48-bit RGB, else 1.
int BytesPerSample(const FilterRecord& record);

// Hosts that leave inColumnBytes or outColumnBytes at 0 or below get planes * bytesPerSample.
void FixColumnBytes(FilterRecord& record);

// Host samples of `area` into the planes (one per plane the host counts, each area-sized) and, when
// `weights` is given, the selection weight of each pixel (area-sized, rows back to back).
void ReadPlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                float* weights);

// The planes back into the output buffer over `area`, blended with the source by the selection (unless
// the depth map is in force), rounded and clamped.
void WritePlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                 const float* weights, bool depthMapInForce);

}  // namespace aperlume
