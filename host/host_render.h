// One lens-blur render of a rectangle of the host's image, for the final run and for the dialog's
// preview alike: the settings and the plane layout are taken once from the host's records, the planes
// are read from the input buffer, the engine renders them, and they are written into the output buffer,
// blended with the source by the selection. On any failure the output buffer is left as it was.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "engine/render.h"
#include "host/host_records.h"
#include "host/rect.h"

namespace aperlume {

// The check points of a render against the host: its abortProc and progressProc (either may be
// missing). The final run has no preview, so its preview check always answers no; the dialog's preview
// overrides it.
class HostCheckPoints : public CheckPoints {
public:
    explicit HostCheckPoints(const FilterRecord& record) : record_(record) {}
    virtual ~HostCheckPoints() = default;
    HostCheckPoints(const HostCheckPoints&) = delete;
    HostCheckPoints& operator=(const HostCheckPoints&) = delete;

    bool PreviewInterrupted() override { return false; }
    bool HostAborted() override;
    void Progress(std::int32_t done, std::int32_t total) override;

private:
    const FilterRecord& record_;
};

// Renders `area` (whole-image coordinates) from the input buffer into the output buffer. Codes:
// kBadParameters without a parameter block or for an area outside the image, kBadMode for more than
// kMaxPlanes planes or a mode a method cannot lay out, kHostInsufficient unless the host delivered the
// whole image (CheckWholeImageDelivered), kOutOfMemory, kUserCanceled. An empty area renders nothing and
// succeeds.
[[nodiscard]] Result RenderLensBlur(FilterRecord& record, const Rect& area, CheckPoints& checkPoints);

// The render scale of a host that renders scaled frames (After Effects) for a frame `frameWidth` wide:
// 1.0, 0.5 or 0.25 against the remembered width of the last full-size frame.
double HostRenderScale(std::int32_t frameWidth);

}  // namespace aperlume
