// The three ways of spreading every plane over the aperture. Each works in place on `planes` (one
// width x height float buffer per plane, the count read from the FilterRecord's `planes`, at most 8),
// reads its settings from the context's parameter block, and reports failure only through the run's
// result word: -108 out of memory, -128 cancelled, -30101 image mode refused. On success every plane
// holds its blurred values; on failure the caller must not use them.
#pragma once

#include <cstdint>

#include "host/plugin_context.h"

namespace aperlume {

inline constexpr int kMaxPlanes = 8;

void DirectConvolve(PluginContext& context, std::int32_t diameter, std::int32_t width, std::int32_t height,
                    bool reportProgress, float* const* planes, const float* depthMap);

void MonteCarloConvolve(PluginContext& context, std::int32_t diameter, std::int32_t width, std::int32_t height,
                        bool reportProgress, float* const* planes);

void FftConvolve(PluginContext& context, std::int32_t diameter, std::int32_t width, std::int32_t height,
                 bool reportProgress, float* const* planes);

}  // namespace aperlume
