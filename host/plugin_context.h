// The per-instance record kept in the host's data slot across calls, and the accessors through which
// every Part reaches the host's FilterRecord, result word and parameter block.
//
// The context is plain data: it is created zero-filled in movable global memory (or a host handle)
// and never released by the plug-in.
#pragma once

#include <cstdint>

#include "base/filter_parameters.h"
#include "host/host_records.h"
#include "host/rect.h"

namespace aperlume {

struct PluginContext {
    std::int16_t* result;
    FilterRecord* filterRecord;
    std::int16_t showDialog;
    Rect previewRect;
    Rect renderRect;
    std::int16_t zoomStep;
    double viewCenterV;
    double viewCenterH;
    std::uint8_t* previewPixels;
    std::uint8_t* previewMask;
    std::int16_t hasTransparency;
    std::uint8_t* transparencyPlane;
    float* apertureThumb;
};

// The parameter block behind the record's `parameters` handle, read at the moment of use; null while
// the handle is null.
FilterParameters* Parameters(const PluginContext& context);

inline void SetResult(const PluginContext& context, std::int16_t code) { *context.result = code; }
inline std::int16_t ResultWord(const PluginContext& context) { return *context.result; }

}  // namespace aperlume
