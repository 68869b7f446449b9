// The raster drawing primitives. Every kernel weight follows from the exact pixels these draw, so the
// line's direction and tie rule, the circle's decision variable and the polygon's vertex arithmetic are
// fixed and must not be "improved".
#include "engine/raster_drawing.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "base/working_memory.h"

namespace aperlume {
namespace {

constexpr std::int32_t kStackGrowth = 1024;  // pairs; the fill's stack starts at and grows by this much
constexpr std::size_t kInlineElementBytes = 64;
constexpr double kTwoPi = 6.283185307179586;

bool Inside(std::int64_t x, std::int64_t y, const DrawingSurface& surface) {
    return x >= 0 && x < surface.width && y >= 0 && y < surface.height;
}

std::uint8_t* ElementAt(std::int64_t x, std::int64_t y, const DrawingSurface& surface) {
    const std::size_t index =
        static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.width);
    return surface.data + index * surface.elementSize;
}

// Lines and circles compute in 64 bits; their points outside the surface are skipped.
bool PutClipped(std::int64_t x, std::int64_t y, const void* value, const DrawingSurface& surface) {
    if (!Inside(x, y, surface)) return false;
    std::memcpy(ElementAt(x, y, surface), value, surface.elementSize);
    return true;
}

struct Point {
    std::int32_t x;
    std::int32_t y;
};

// The fill's explicit stack: the first 1024 pairs live in the frame, so an ordinary (convex) fill never
// touches the heap; growth copies into a buffer 1024 pairs larger. A growth that cannot be had makes
// Push fail, and the fill then stops.
class PointStack {
public:
    PointStack() : items_(inline_), capacity_(kStackGrowth) {}
    PointStack(const PointStack&) = delete;
    PointStack& operator=(const PointStack&) = delete;

    [[nodiscard]] bool Push(std::int32_t x, std::int32_t y) {
        if (count_ == capacity_) {
            const std::int64_t grown = static_cast<std::int64_t>(capacity_) + kStackGrowth;
            Buffer<Point> larger = AllocateBuffer<Point>(static_cast<std::size_t>(grown));
            if (larger == nullptr) return false;
            std::memcpy(larger.get(), items_, static_cast<std::size_t>(count_) * sizeof(Point));
            heap_ = std::move(larger);
            items_ = heap_.get();
            capacity_ = static_cast<std::int32_t>(grown);
        }
        items_[count_++] = Point{x, y};
        return true;
    }
    bool Empty() const { return count_ == 0; }
    Point Pop() { return items_[--count_]; }

private:
    Point inline_[kStackGrowth];
    Buffer<Point> heap_;
    Point* items_;
    std::int32_t capacity_;
    std::int32_t count_ = 0;
};

// Walks one step of a horizontal run and pushes the neighbour on one side when it starts a new run of
// old-valued elements. Returns false when the stack could not grow.
bool VisitNeighbour(std::int32_t x, std::int32_t y, bool& inRun, const std::uint8_t* oldValue,
                    const DrawingSurface& surface, PointStack& stack) {
    if (y < 0 || y >= surface.height) return true;
    const bool matches = std::memcmp(ElementAt(x, y, surface), oldValue, surface.elementSize) == 0;
    if (matches && !inRun && !stack.Push(x, y)) return false;
    inRun = matches;
    return true;
}

// Sets one element of the run and looks below and above it.
bool FillAndLook(std::int32_t x, std::int32_t y, const void* value, const std::uint8_t* oldValue, bool& below,
                 bool& above, const DrawingSurface& surface, PointStack& stack) {
    std::memcpy(ElementAt(x, y, surface), value, surface.elementSize);
    return VisitNeighbour(x, y + 1, below, oldValue, surface, stack) &&
           VisitNeighbour(x, y - 1, above, oldValue, surface, stack);
}

void FillRegion(std::int32_t seedX, std::int32_t seedY, const void* value, const std::uint8_t* oldValue,
                const DrawingSurface& surface) {
    const std::size_t size = surface.elementSize;
    auto isOld = [&](std::int32_t x, std::int32_t y) {
        return std::memcmp(ElementAt(x, y, surface), oldValue, size) == 0;
    };
    PointStack stack;
    if (!stack.Push(seedX, seedY)) return;
    while (!stack.Empty()) {
        const Point p = stack.Pop();
        if (!isOld(p.x, p.y)) continue;
        bool below = false;
        bool above = false;
        for (std::int32_t x = p.x; x >= 0 && isOld(x, p.y); --x) {
            if (!FillAndLook(x, p.y, value, oldValue, below, above, surface, stack)) return;
        }
        // The start column's neighbours were looked at by the left walk; a run through them is pushed.
        below = p.y + 1 < surface.height && isOld(p.x, p.y + 1);
        above = p.y >= 1 && isOld(p.x, p.y - 1);
        for (std::int32_t x = p.x + 1; x < surface.width && isOld(x, p.y); ++x) {
            if (!FillAndLook(x, p.y, value, oldValue, below, above, surface, stack)) return;
        }
    }
}

// Clamped so that a vertex far outside any surface stays a defined integer.
std::int32_t TruncateToInt32(long double v) {
    if (!(v > -2147483648.0L)) return INT32_MIN;
    if (v >= 2147483647.0L) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

Point PolygonVertex(std::int32_t cx, std::int32_t cy, std::int32_t radius, std::int32_t index,
                    std::int32_t count, double startAngle) {
    const long double step = static_cast<long double>(kTwoPi) / static_cast<long double>(count);
    const long double theta = static_cast<long double>(startAngle) + static_cast<long double>(index) * step;
    const long double r = radius;
    return Point{TruncateToInt32(static_cast<long double>(cx) + r * std::cos(theta)),
                 TruncateToInt32(static_cast<long double>(cy) + r * std::sin(theta))};
}

}  // namespace

std::int32_t PutPixel(std::int32_t x, std::int32_t y, const void* value, const DrawingSurface& surface) {
    return PutClipped(x, y, value, surface) ? 0 : 1;
}

std::int32_t DrawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, const void* value,
                      const DrawingSurface& surface) {
    // 64-bit error terms: twice a 32-bit distance does not fit in 32 bits.
    const std::int64_t dx = std::abs(static_cast<std::int64_t>(x2) - x1);
    const std::int64_t dy = std::abs(static_cast<std::int64_t>(y2) - y1);
    const std::int64_t sx = x2 > x1 ? 1 : -1;
    const std::int64_t sy = y2 > y1 ? 1 : -1;
    std::int64_t x = x1;
    std::int64_t y = y1;
    if (dx >= dy) {
        std::int64_t error = -dx;
        for (std::int64_t i = 0; i <= dx; ++i) {
            PutClipped(x, y, value, surface);
            x += sx;
            error += 2 * dy;
            if (error >= 0) {
                y += sy;
                error -= 2 * dx;
            }
        }
    } else {
        std::int64_t error = -dy;
        for (std::int64_t i = 0; i <= dy; ++i) {
            PutClipped(x, y, value, surface);
            y += sy;
            error += 2 * dx;
            if (error >= 0) {
                x += sx;
                error -= 2 * dy;
            }
        }
    }
    return 0;
}

std::int32_t FloodFill(std::int32_t seedX, std::int32_t seedY, const void* value, const DrawingSurface& surface) {
    if (!Inside(seedX, seedY, surface)) return 0;
    const std::size_t size = surface.elementSize;
    // The old value must be a copy: the seed element itself is overwritten first.
    std::uint8_t inlineCopy[kInlineElementBytes];
    Buffer<std::uint8_t> heapCopy;
    std::uint8_t* oldValue = inlineCopy;
    if (size > kInlineElementBytes) {
        heapCopy = AllocateBuffer<std::uint8_t>(size);
        if (heapCopy == nullptr) return 0;
        oldValue = heapCopy.get();
    }
    std::memcpy(oldValue, ElementAt(seedX, seedY, surface), size);
    if (std::memcmp(oldValue, value, size) == 0) return 0;
    FillRegion(seedX, seedY, value, oldValue, surface);
    return 0;
}

std::int32_t DrawCircle(std::int32_t centerX, std::int32_t centerY, std::int32_t radius, std::int32_t fill,
                        const void* value, const DrawingSurface& surface) {
    if (centerX < 0 || centerX > surface.width || centerY < 0 || centerY > surface.height) return 1;
    if (radius < 0) return 0;
    if (radius == 0) {
        PutPixel(centerX, centerY, value, surface);
        return 0;
    }
    if (radius == 1) {
        PutPixel(centerX, centerY - 1, value, surface);
        PutPixel(centerX - 1, centerY, value, surface);
        PutPixel(centerX + 1, centerY, value, surface);
        PutPixel(centerX, centerY + 1, value, surface);
        if (fill != 0) PutPixel(centerX, centerY, value, surface);
        return 0;
    }
    const std::int64_t cx = centerX;
    const std::int64_t cy = centerY;
    auto plot = [&](std::int64_t px, std::int64_t py) { PutClipped(px, py, value, surface); };
    std::int64_t x = 0;
    std::int64_t y = radius;
    std::int64_t d = 3 - 2 * static_cast<std::int64_t>(radius);
    while (x <= y) {
        plot(cx + y, cy + x);
        plot(cx - y, cy + x);
        plot(cx + y, cy - x);
        plot(cx - y, cy - x);
        plot(cx + x, cy + y);
        plot(cx - x, cy + y);
        plot(cx + x, cy - y);
        plot(cx - x, cy - y);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            y -= 1;
        }
        x += 1;
    }
    if (fill != 0) FloodFill(centerX, centerY, value, surface);
    return 0;
}

std::int32_t DrawRegularPolygon(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                                std::int32_t vertexCount, double startAngle, std::int32_t fill, const void* value,
                                const DrawingSurface& surface) {
    if (vertexCount <= 0) return 0;
    const Point first = PolygonVertex(centerX, centerY, radius, 0, vertexCount, startAngle);
    if (vertexCount == 2) {
        const Point second = PolygonVertex(centerX, centerY, radius, 1, vertexCount, startAngle);
        DrawLine(first.x, first.y, second.x, second.y, value, surface);
        return 0;
    }
    Point previous = first;
    for (std::int32_t i = 1; i < vertexCount; ++i) {
        const Point next = PolygonVertex(centerX, centerY, radius, i, vertexCount, startAngle);
        DrawLine(previous.x, previous.y, next.x, next.y, value, surface);
        previous = next;
    }
    // The closing edge runs from the first vertex to the last, not the other way round.
    DrawLine(first.x, first.y, previous.x, previous.y, value, surface);
    if (fill != 0) FloodFill(centerX, centerY, value, surface);
    return 0;
}

}  // namespace aperlume
