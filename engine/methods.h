// The three ways of spreading every plane over the aperture, with one shape so that callers can choose
// among them by value. Each works in place on the job's planes, reads the settings from the job alone,
// and reports as Render does (engine/render.h); the Monte Carlo and FFT methods take no depth map and
// ignore `depthMap`.
#pragma once

#include <span>

#include "base/result.h"
#include "engine/render.h"

namespace aperlume {

using SpreadMethod = Result (*)(const RenderJob& job, std::span<const PlaneView> planes, const float* depthMap,
                                CheckPoints& checkPoints);

[[nodiscard]] Result DirectConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* depthMap,
                                    CheckPoints& checkPoints);

[[nodiscard]] Result MonteCarloConvolve(const RenderJob& job, std::span<const PlaneView> planes,
                                        const float* depthMap, CheckPoints& checkPoints);

[[nodiscard]] Result FftConvolve(const RenderJob& job, std::span<const PlaneView> planes, const float* depthMap,
                                 CheckPoints& checkPoints);

// True when the job has nothing to spread: no pixels, or no aperture.
[[nodiscard]] inline bool JobIsEmpty(const RenderJob& job) {
    return job.width <= 0 || job.height <= 0 || job.diameter < 1;
}

// Whether `planes` holds at least the layout's planes, each of the job's width and height with a usable
// stride.
[[nodiscard]] bool PlanesFitJob(const RenderJob& job, std::span<const PlaneView> planes);

}  // namespace aperlume
