// Draws the lens aperture: the outer shape with the rim's weight, then the inner shape over it with the
// centre's weight, optionally on a 3x3 supersampled canvas that is then averaged down.
#include "engine/aperture_kernel.h"

#include <algorithm>
#include <cstddef>

#include "engine/raster_drawing.h"
#include "base/working_memory.h"

namespace aperlume {
namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kPercent = 0.01;
constexpr double kNinth = 0.1111111111111111;
constexpr std::int32_t kSupersampling = 3;

void DrawShape(const DrawingSurface& canvas, std::int32_t vertices, std::int32_t radius, double angle,
               float weight) {
    const std::int32_t cx = canvas.width / 2;
    const std::int32_t cy = canvas.height / 2;
    if (vertices == 1) {
        DrawCircle(cx, cy, radius, 1, &weight, canvas);
    } else if (vertices >= 2) {
        DrawRegularPolygon(cx, cy, radius, vertices, angle, 1, &weight, canvas);
    }
    // Zero or fewer vertices draw nothing: the kernel stays all zero.
}

void DrawAperture(const FilterParameters& settings, std::int32_t diameter, const DrawingSurface& canvas) {
    const double angle = settings.rotation * kRadiansPerDegree;
    // Formed in double: 100 * 0.01 must come out as exactly 1, so that a ratio of -100 or 100 gives a
    // weight of exactly 0 (in extended precision it would leave a tiny negative weight everywhere).
    const double ratio = settings.ratio * kPercent;
    const float outerWeight = settings.ratio >= 0 ? 1.0f : static_cast<float>(1.0 + ratio);
    const float innerWeight = settings.ratio <= 0 ? 1.0f : static_cast<float>(1.0 - ratio);

    const std::int32_t outerRadius = diameter / 2;
    const auto innerRadius = static_cast<std::int32_t>(static_cast<std::int64_t>(diameter) * settings.edge / 200);

    std::fill_n(reinterpret_cast<float*>(canvas.data),
                static_cast<std::size_t>(canvas.width) * static_cast<std::size_t>(canvas.height), 0.0f);
    DrawShape(canvas, settings.vertices, outerRadius, angle, outerWeight);
    DrawShape(canvas, settings.vertices, innerRadius, angle, innerWeight);
}

DrawingSurface FloatSurface(float* data, std::int32_t width, std::int32_t height) {
    return DrawingSurface{reinterpret_cast<std::uint8_t*>(data), sizeof(float), width, height};
}

// Each output element is the mean of its 3x3 block, summed in single precision row by row.
void AverageDown(const float* canvas, std::int32_t width, std::int32_t height, float* raster) {
    const std::size_t canvasWidth = static_cast<std::size_t>(width) * kSupersampling;
    for (std::int32_t i = 0; i < height; ++i) {
        for (std::int32_t j = 0; j < width; ++j) {
            float sum = 0.0f;
            for (std::int32_t dy = 0; dy < kSupersampling; ++dy) {
                const float* row = canvas + (static_cast<std::size_t>(i) * kSupersampling + dy) * canvasWidth +
                                   static_cast<std::size_t>(j) * kSupersampling;
                for (std::int32_t dx = 0; dx < kSupersampling; ++dx) sum += row[dx];
            }
            raster[static_cast<std::size_t>(i) * static_cast<std::size_t>(width) + j] =
                static_cast<float>(sum * kNinth);
        }
    }
}

}  // namespace

void BuildApertureKernel(const FilterParameters& settings, std::int32_t diameter, std::int32_t width,
                         std::int32_t height, float* raster) {
    if (raster == nullptr || width <= 0 || height <= 0) return;
    if (settings.soft != 0) {
        Buffer<float> canvas = AllocateRaster<float>(static_cast<std::int64_t>(width) * kSupersampling,
                                                     static_cast<std::int64_t>(height) * kSupersampling);
        const std::int64_t bigDiameter = static_cast<std::int64_t>(diameter) * kSupersampling;
        // The canvas must also be addressable with 32-bit coordinates; otherwise draw without it.
        if (canvas != nullptr && static_cast<std::int64_t>(width) * kSupersampling <= INT32_MAX &&
            static_cast<std::int64_t>(height) * kSupersampling <= INT32_MAX && bigDiameter <= INT32_MAX &&
            bigDiameter >= INT32_MIN) {
            DrawAperture(settings, static_cast<std::int32_t>(bigDiameter),
                         FloatSurface(canvas.get(), width * kSupersampling, height * kSupersampling));
            AverageDown(canvas.get(), width, height, raster);
            return;
        }
        // No canvas to be had: a hard-edged aperture is still the right shape, and the callers have no
        // failure path for the kernel.
    }
    DrawAperture(settings, diameter, FloatSurface(raster, width, height));
}

}  // namespace aperlume
