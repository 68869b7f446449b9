// The conversion between the host's interleaved 8/16-bit samples and the engine's float planes (0.0
// black, 1.0 white; 16-bit samples run 0..32768), over a rectangle of the whole-image buffers that
// advanceState delivered.
//
// Every request is for the whole image, so all addressing is in whole-image coordinates:
// sample (p, r, c) lies at inData + r*inRowBytes + c*inColumnBytes + p*bytesPerSample.
#pragma once

#include <cstdint>
#include <span>

#include "engine/render.h"
#include "host/host_records.h"
#include "host/rect.h"

namespace aperlume {

// 2 for 16-bit grayscale and 48-bit RGB, else 1 (BytesPerSampleOfMode).
int BytesPerSample(const FilterRecord& record);

// Hosts that leave inColumnBytes or outColumnBytes at 0 or below get planes * bytesPerSample.
void FixColumnBytes(FilterRecord& record);

// Host samples of `area` into the planes (one per plane the host counts, each area-sized; values as
// base/sample_values.h gives them) and, when `weights` is given, the selection weight of each pixel
// (area-sized, rows back to back). Bands of rows go to up to `threads` threads; the result does not
// depend on their number.
void ReadPlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                float* weights, std::int32_t threads);

// The planes back into the output buffer over `area`, blended with the source by the selection (unless
// the depth map is in force): in double precision, value * white or source * (1 - w) + value * w *
// white, plus 0.5, truncated and clamped to 0..white (NaN gives 0). Threads as ReadPlanes.
void WritePlanes(const FilterRecord& record, const Rect& area, int bytesPerSample, std::span<const PlaneView> planes,
                 const float* weights, bool depthMapInForce, std::int32_t threads);

}  // namespace aperlume
