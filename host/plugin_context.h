// The per-instance record kept in the host's data slot across calls, and the access to the parameter
// block through the host's FilterRecord.
//
// The context is plain data: it is created zero-filled in movable global memory (or a host handle),
// never runs a constructor and is never released by the plug-in, so it holds no owners. The preview's
// buffers belong to the dialog session (ui/preview_session.h); outcomes travel by return value, and only
// the selector dispatch writes the host's result word.
#pragma once

#include <cstdint>

#include "base/filter_parameters.h"
#include "host/host_records.h"
#include "host/rect.h"

namespace aperlume {

struct PluginContext {
    FilterRecord* filterRecord;  // the record of the current call
    std::int16_t showDialog;
    Rect previewRect;  // the preview pane in the dialog's client coordinates
    Rect renderRect;   // what continue renders
    std::int16_t zoomStep;
    double viewCenterV;
    double viewCenterH;
    std::int16_t hasTransparency;  // the host supplies transparency beside one or three colour planes
};

// The parameter block behind the record's `parameters` handle, read at the moment of use; null while
// the handle is null or its block is shorter than FilterParameters.
FilterParameters* Parameters(const FilterRecord& record);
FilterParameters* Parameters(const PluginContext& context);

}  // namespace aperlume
