// A small raster drawing library over a generic element raster: points, Bresenham lines, a 4-connected
// flood fill, midpoint circles and regular polygons. The aperture kernel is drawn with it.
//
// An element is an opaque run of `elementSize` bytes, written by copying and compared bytewise (for
// floats, +0.0 and -0.0 differ and a NaN equals itself). Rows are stored back to back, row 0 at the top,
// so y grows downwards and a positive polygon angle turns clockwise on screen. Points outside the
// surface are never written. The surface belongs to the caller; the primitives keep no state.
#pragma once

#include <cstdint>

namespace aperlume {

struct DrawingSurface {
    std::uint8_t* data;        // width * height elements, row-major
    std::uint32_t elementSize;  // bytes per element
    std::int32_t width;
    std::int32_t height;
};

// 0 when written, 1 when (x, y) lies outside the surface.
std::int32_t PutPixel(std::int32_t x, std::int32_t y, const void* value, const DrawingSurface& surface);

// From (x1, y1) towards (x2, y2), both ends drawn; a minor step is taken when the error reaches 0.
// Clipped points are skipped without changing the line's course. Returns 0.
std::int32_t DrawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, const void* value,
                      const DrawingSurface& surface);

// Replaces the 4-connected region of elements bytewise equal to the seed's by `value`. A seed outside
// the surface changes nothing. If the fill's stack cannot grow, the fill stops early: every element then
// holds either its old value or `value`. Returns 0.
std::int32_t FloodFill(std::int32_t seedX, std::int32_t seedY, const void* value, const DrawingSurface& surface);

// Midpoint circle, filled from the centre when `fill` is non-zero (radius 1 draws a plus, radius 0 one
// point; a negative radius draws nothing). Returns 1 without drawing when the centre lies outside
// 0..width x 0..height (both ends included), else 0.
std::int32_t DrawCircle(std::int32_t centerX, std::int32_t centerY, std::int32_t radius, std::int32_t fill,
                        const void* value, const DrawingSurface& surface);

// A regular polygon of `vertexCount` vertices, the first at `startAngle` radians (clockwise on screen
// from +x). Vertices are computed in extended precision and truncated toward zero. Two vertices draw one
// segment and are never filled. Returns 0.
std::int32_t DrawRegularPolygon(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                                std::int32_t vertexCount, double startAngle, std::int32_t fill, const void* value,
                                const DrawingSurface& surface);

}  // namespace aperlume
