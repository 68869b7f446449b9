// The check points of a preview render: the preview's interruption check first (it dispatches the
// dialog's pending events), then the host's abortProc; progress to the host's progressProc.
#pragma once

#include "host/host_render.h"
#include "ui/preview_state.h"

namespace aperlume {

class PreviewCheckPoints final : public HostCheckPoints {
public:
    explicit PreviewCheckPoints(const FilterRecord& record) : HostCheckPoints(record) {}
    bool PreviewInterrupted() override { return CheckPreviewAbort(); }
};

}  // namespace aperlume
