// Benchmark support: the engine called directly, as any caller does: a job, plane views, and check
// points that never stop; and a fixed 1024 x 768 test image as float planes with a depth map.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "base/filter_parameters.h"
#include "base/image_modes.h"
#include "engine/render.h"

namespace aperlume::bench {

// A render nobody interrupts and nobody watches.
class NeverStop final : public CheckPoints {
public:
    bool PreviewInterrupted() override { return false; }
    bool HostAborted() override { return false; }
    void Progress(std::int32_t, std::int32_t) override {}
};

// An RGB render job with a hexagonal aperture.
inline RenderJob RgbJob(std::int32_t width, std::int32_t height, std::int32_t diameter) {
    FilterParameters settings = kDefaultParameters;
    settings.vertices = 6;
    return RenderJob{settings, MakePlaneLayout(kModeRGB, 3), width, height, diameter};
}

inline std::vector<PlaneView> Views(std::vector<std::vector<float>>& planes, std::int32_t width,
                                    std::int32_t height) {
    std::vector<PlaneView> views;
    for (auto& plane : planes) views.push_back(PlaneView{plane.data(), width, height, width});
    return views;
}

inline constexpr std::int32_t kImageWidth = 1024;
inline constexpr std::int32_t kImageHeight = 768;

// Planes of dim random noise with a few bright points, the kind of content the blur is made for.
inline std::vector<std::vector<float>> TestPlanes(int planeCount, std::uint32_t seed = 1) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    const std::size_t pixels = static_cast<std::size_t>(kImageWidth) * kImageHeight;
    std::vector<std::vector<float>> planes(static_cast<std::size_t>(planeCount), std::vector<float>(pixels));
    for (auto& plane : planes) {
        for (std::size_t j = 0; j < pixels; ++j) plane[j] = value(generator) < 0.001f ? 1.0f : 0.25f * value(generator);
    }
    return planes;
}

// A depth map running from far behind (left, 1.0) to near (right, 0.0), as masks give it: steps of 1/255.
inline std::vector<float> TestDepthMap() {
    std::vector<float> depth(static_cast<std::size_t>(kImageWidth) * kImageHeight);
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x)
            depth[static_cast<std::size_t>(y) * kImageWidth + x] =
                static_cast<float>((255 - x * 256 / kImageWidth) * (1.0 / 255.0));
    return depth;
}

}  // namespace aperlume::bench
