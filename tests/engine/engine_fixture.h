// Engine test support: one render's job (settings and layout) and check points that count the
// preview's checks and the host's aborts, stop at a chosen one and record the progress. No host.
#pragma once

#include <cstdint>
#include <vector>

#include "base/filter_parameters.h"
#include "base/image_modes.h"
#include "base/result.h"
#include "engine/render.h"
#include "tests/support/counting_check_points.h"

namespace aperlume::enginetest {

using testing::CheckLog;
using testing::CountingCheckPoints;

// The five settings the aperture is drawn from, over the block's defaults.
inline FilterParameters Aperture(int vertices, int edge, int ratio, int rotation, int soft) {
    FilterParameters p = kDefaultParameters;
    p.vertices = static_cast<std::int16_t>(vertices);
    p.edge = static_cast<std::int16_t>(edge);
    p.ratio = static_cast<std::int16_t>(ratio);
    p.rotation = static_cast<std::int16_t>(rotation);
    p.soft = static_cast<std::int16_t>(soft);
    return p;
}

// One method run: the settings (a disc over the defaults), the layout of `planes` planes of an image
// mode, the check points and the outcome.
class EngineRun {
public:
    EngineRun(std::int16_t imageMode, std::int16_t planes) : layout_(MakePlaneLayout(imageMode, planes)) {
        settings_.vertices = 1;
    }

    FilterParameters& Settings() { return settings_; }
    RenderJob Job(std::int32_t diameter, std::int32_t width, std::int32_t height) const {
        return RenderJob{settings_, layout_, width, height, diameter};
    }
    // A preview render in progress: the preview's check is counted and may stop the run.
    void StartPreview() { checkPoints.StartPreview(); }

    Result result = kOk;
    CheckLog log;
    CountingCheckPoints checkPoints{log};

private:
    FilterParameters settings_ = kDefaultParameters;
    PlaneLayout layout_;
};

// Contiguous views of width x height planes.
template <class PlaneVector>
std::vector<PlaneView> Views(PlaneVector& planes, std::int32_t width, std::int32_t height) {
    std::vector<PlaneView> views;
    for (auto& plane : planes) views.push_back(PlaneView{plane.data(), width, height, width});
    return views;
}

}  // namespace aperlume::enginetest
