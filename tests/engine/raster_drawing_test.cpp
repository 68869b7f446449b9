// The raster primitives: exact pixels of lines, circles and polygons, and the flood fill's bounds.
#include "engine/raster_drawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "base/working_memory.h"

namespace aperlume {
namespace {

using Points = std::set<std::pair<int, int>>;

struct FloatCanvas {
    FloatCanvas(int w, int h, float fill = 0.0f) : width(w), height(h), cells(static_cast<std::size_t>(w * h), fill) {}
    DrawingSurface Surface() {
        return DrawingSurface{reinterpret_cast<std::uint8_t*>(cells.data()), sizeof(float), width, height};
    }
    float& At(int x, int y) { return cells[static_cast<std::size_t>(y * width + x)]; }
    Points NonZero() const {
        Points points;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (cells[static_cast<std::size_t>(y * width + x)] != 0.0f) points.insert({x, y});
        return points;
    }
    int width;
    int height;
    std::vector<float> cells;
};

constexpr float kOne = 1.0f;

TEST(DrawLine, ShallowLineTakesTheMinorStepWhenTheErrorReachesZero) {
    FloatCanvas canvas(8, 8);
    DrawLine(0, 0, 4, 2, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.NonZero(), (Points{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));
}

TEST(DrawLine, DirectionDecidesWhichPixelsASlantedLineCovers) {
    FloatCanvas canvas(8, 8);
    DrawLine(4, 2, 0, 0, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.NonZero(), (Points{{4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}));
}

TEST(DrawLine, SteepLineStepsAlongY) {
    FloatCanvas canvas(8, 8);
    DrawLine(0, 0, 1, 3, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.NonZero(), (Points{{0, 0}, {0, 1}, {1, 2}, {1, 3}}));
}

TEST(DrawLine, CoincidentEndsDrawOneElement) {
    FloatCanvas canvas(5, 5);
    DrawLine(3, 2, 3, 2, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.NonZero(), (Points{{3, 2}}));
}

TEST(DrawLine, ClippingSkipsPointsWithoutShiftingTheRest) {
    // The same line on a surface large enough to hold it, moved by (10, 10).
    FloatCanvas small(20, 20);
    FloatCanvas large(40, 40);
    DrawLine(-7, 3, 25, 14, &kOne, small.Surface());
    DrawLine(3, 13, 35, 24, &kOne, large.Surface());
    Points expected;
    for (auto [x, y] : large.NonZero())
        if (x >= 10 && x < 30 && y >= 10 && y < 30) expected.insert({x - 10, y - 10});
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(small.NonZero(), expected);
}

TEST(PutPixel, ReportsPointsOutsideTheSurface) {
    FloatCanvas canvas(3, 2);
    EXPECT_EQ(PutPixel(2, 1, &kOne, canvas.Surface()), 0);
    EXPECT_EQ(PutPixel(3, 0, &kOne, canvas.Surface()), 1);
    EXPECT_EQ(PutPixel(0, -1, &kOne, canvas.Surface()), 1);
    EXPECT_EQ(canvas.NonZero(), (Points{{2, 1}}));
}

TEST(DrawCircle, SmallRadiiDrawAPointOrAPlus) {
    FloatCanvas point(7, 7);
    DrawCircle(3, 3, 0, 1, &kOne, point.Surface());
    EXPECT_EQ(point.NonZero(), (Points{{3, 3}}));

    FloatCanvas arms(7, 7);
    DrawCircle(3, 3, 1, 0, &kOne, arms.Surface());
    EXPECT_EQ(arms.NonZero(), (Points{{3, 2}, {2, 3}, {4, 3}, {3, 4}}));

    FloatCanvas plus(7, 7);
    DrawCircle(3, 3, 1, 1, &kOne, plus.Surface());
    EXPECT_EQ(plus.NonZero(), (Points{{3, 2}, {2, 3}, {3, 3}, {4, 3}, {3, 4}}));
}

TEST(DrawCircle, RadiusTwoIsAFiveByFiveSquareWithoutCorners) {
    FloatCanvas outline(9, 9);
    DrawCircle(4, 4, 2, 0, &kOne, outline.Surface());
    EXPECT_EQ(outline.NonZero().size(), 12u);
    EXPECT_EQ(outline.At(4, 4), 0.0f);

    FloatCanvas filled(9, 9);
    DrawCircle(4, 4, 2, 1, &kOne, filled.Surface());
    Points expected;
    for (int y = 2; y <= 6; ++y)
        for (int x = 2; x <= 6; ++x)
            if ((x == 2 || x == 6) && (y == 2 || y == 6)) continue;
            else expected.insert({x, y});
    EXPECT_EQ(filled.NonZero(), expected);
}

TEST(DrawCircle, FilledCircleCoversItsOutlineAndEverythingBetween) {
    for (int r = 2; r <= 30; ++r) {
        const int size = 2 * r + 5;
        FloatCanvas outline(size, size);
        FloatCanvas filled(size, size);
        DrawCircle(size / 2, size / 2, r, 0, &kOne, outline.Surface());
        DrawCircle(size / 2, size / 2, r, 1, &kOne, filled.Surface());
        for (int y = 0; y < size; ++y) {
            int left = size;
            int right = -1;
            for (int x = 0; x < size; ++x)
                if (outline.At(x, y) != 0.0f) left = std::min(left, x), right = std::max(right, x);
            for (int x = 0; x < size; ++x)
                ASSERT_EQ(filled.At(x, y), x >= left && x <= right ? 1.0f : 0.0f) << "r " << r << " at " << x << "," << y;
        }
    }
}

TEST(DrawCircle, RejectsACentreOutsideTheSurfaceButAcceptsTheFarEdge) {
    FloatCanvas canvas(6, 6);
    EXPECT_EQ(DrawCircle(-1, 3, 2, 1, &kOne, canvas.Surface()), 1);
    EXPECT_EQ(DrawCircle(3, 7, 2, 1, &kOne, canvas.Surface()), 1);
    EXPECT_TRUE(canvas.NonZero().empty());
    // A centre at x = width: only its visible points, and the fill's seed outside fills nothing.
    EXPECT_EQ(DrawCircle(6, 3, 2, 1, &kOne, canvas.Surface()), 0);
    EXPECT_EQ(canvas.NonZero(), (Points{{4, 2}, {4, 3}, {4, 4}, {5, 1}, {5, 5}}));
}

TEST(FloodFill, SeedAlreadyHoldingTheValueChangesNothing) {
    FloatCanvas canvas(6, 4);
    for (int x = 0; x < 6; ++x) canvas.At(x, 0) = 2.0f;
    canvas.At(1, 1) = 1.0f;
    const std::vector<float> before = canvas.cells;
    FloodFill(1, 1, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.cells, before);
}

TEST(FloodFill, DoesNotLeakThroughADiagonalOutline) {
    FloatCanvas canvas(10, 10);
    DrawLine(0, 0, 9, 9, &kOne, canvas.Surface());
    const float two = 2.0f;
    FloodFill(0, 9, &two, canvas.Surface());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const float expected = x == y ? 1.0f : (x < y ? 2.0f : 0.0f);
            ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
        }
}

TEST(FloodFill, ComparesBytesNotNumbers) {
    // -0.0 walls stop a fill of +0.0; a NaN region is filled as equal to itself.
    FloatCanvas canvas(5, 3);
    for (int y = 0; y < 3; ++y) canvas.At(2, y) = -0.0f;
    FloodFill(0, 1, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.NonZero(), (Points{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}}));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    FloatCanvas nans(3, 3, nan);
    FloodFill(1, 1, &kOne, nans.Surface());
    for (float v : nans.cells) EXPECT_EQ(v, 1.0f);
}

TEST(FloodFill, FillsElementsLargerThanAFloat) {
    struct Wide {
        std::uint8_t bytes[100];
    };
    std::vector<Wide> cells(4 * 3);
    for (auto& c : cells) std::memset(c.bytes, 0, sizeof c.bytes);
    cells[5].bytes[99] = 7;  // one element differs only in its last byte
    Wide value;
    std::memset(value.bytes, 0xAB, sizeof value.bytes);
    DrawingSurface surface{reinterpret_cast<std::uint8_t*>(cells.data()), sizeof(Wide), 4, 3};
    FloodFill(0, 0, &value, surface);
    for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(cells[i].bytes[0], i == 5 ? 0 : 0xAB) << i;
}

// Rows 0 and 2 alternate walls and holes, so filling row 1 leaves one pending pair per hole: far more than
// the stack's first 1024 pairs.
FloatCanvas Comb(int width) {
    FloatCanvas canvas(width, 3);
    for (int x = 1; x < width; x += 2) canvas.At(x, 0) = canvas.At(x, 2) = 5.0f;
    return canvas;
}

TEST(FloodFill, StackGrowsForManyPendingRuns) {
    FloatCanvas canvas = Comb(4101);
    const std::int64_t live = LiveAllocations();
    FloodFill(0, 1, &kOne, canvas.Surface());
    for (float v : canvas.cells) ASSERT_NE(v, 0.0f);
    EXPECT_EQ(LiveAllocations(), live);
}

TEST(FloodFill, StackThatCannotGrowStopsWithTheSurfaceDefined) {
    FloatCanvas canvas = Comb(4101);
    const std::int64_t live = LiveAllocations();
    FailAllocationNumber(1);
    FloodFill(0, 1, &kOne, canvas.Surface());
    FailAllocationNumber(0);
    int untouched = 0;
    for (float v : canvas.cells) {
        ASSERT_TRUE(v == 0.0f || v == 1.0f || v == 5.0f);
        untouched += v == 0.0f;
    }
    EXPECT_GT(untouched, 0);  // the fill did stop early
    EXPECT_EQ(canvas.At(0, 1), 1.0f);
    EXPECT_EQ(LiveAllocations(), live);
}

TEST(DrawRegularPolygon, TwoVerticesDrawOnlyTheSegmentEvenWhenFilled) {
    FloatCanvas canvas(11, 11);
    DrawRegularPolygon(5, 5, 4, 2, 0.0, 1, &kOne, canvas.Surface());
    // Angle 0 points right; the second vertex's sine at 180 degrees is a tiny positive number.
    EXPECT_EQ(canvas.NonZero(), (Points{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}}));
}

TEST(DrawRegularPolygon, VerticesAreTruncatedNotRounded) {
    // First vertex at 10 + 3 cos a = 12.9, 10 + 3 sin a = 10.77; the second, opposite, at 7.1, 9.23.
    FloatCanvas canvas(20, 20);
    const double angle = std::acos(2.9 / 3.0);
    DrawRegularPolygon(10, 10, 3, 2, angle, 0, &kOne, canvas.Surface());
    EXPECT_EQ(canvas.At(12, 10), 1.0f);
    EXPECT_EQ(canvas.At(13, 10), 0.0f);
    EXPECT_EQ(canvas.At(7, 9), 1.0f);
    EXPECT_EQ(canvas.At(7, 10), 0.0f);
    EXPECT_EQ(canvas.At(6, 9), 0.0f);
}

TEST(DrawRegularPolygon, ClosingEdgeRunsFromTheFirstVertexToTheLast) {
    // Triangle at 30 degrees, radius 7 around (10, 10): vertices (16, 13), (3, 13) and (9, 3) after
    // truncation. The closing edge (16, 13) -> (9, 3) passes (12, 8); drawn the other way it would pass
    // (13, 8) instead.
    FloatCanvas canvas(21, 21);
    DrawRegularPolygon(10, 10, 7, 3, 30.0 * 0.017453292519943295, 0, &kOne, canvas.Surface());
    FloatCanvas forward(21, 21);
    DrawLine(16, 13, 9, 3, &kOne, forward.Surface());
    FloatCanvas backward(21, 21);
    DrawLine(9, 3, 16, 13, &kOne, backward.Surface());
    const Points polygon = canvas.NonZero();
    for (const auto& p : forward.NonZero()) EXPECT_TRUE(polygon.count(p)) << p.first << "," << p.second;
    EXPECT_TRUE(polygon.count({12, 8}));
    EXPECT_FALSE(polygon.count({13, 8}));
    EXPECT_TRUE(backward.NonZero().count({13, 8}));
}

TEST(DrawRegularPolygon, FilledPolygonHoldsTheValueInsideItsOutline) {
    for (int n = 3; n <= 8; ++n) {
        FloatCanvas outline(41, 41);
        FloatCanvas filled(41, 41);
        DrawRegularPolygon(20, 20, 17, n, 0.3, 0, &kOne, outline.Surface());
        DrawRegularPolygon(20, 20, 17, n, 0.3, 1, &kOne, filled.Surface());
        for (int y = 0; y < 41; ++y) {
            int left = 41;
            int right = -1;
            for (int x = 0; x < 41; ++x)
                if (outline.At(x, y) != 0.0f) left = std::min(left, x), right = std::max(right, x);
            for (int x = 0; x < 41; ++x)
                ASSERT_EQ(filled.At(x, y), x >= left && x <= right ? 1.0f : 0.0f) << n << " at " << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace aperlume
