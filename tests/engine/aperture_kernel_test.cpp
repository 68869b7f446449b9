// The aperture kernel: weights of the rim and the centre, the truncated polygon vertices, supersampling.
#include "engine/aperture_kernel.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine_fixture.h"
#include "base/working_memory.h"

namespace aperlume {
namespace {

using enginetest::Aperture;

struct Kernel {
    int width;
    int height;
    std::vector<float> w;
    float At(int x, int y) const { return w[static_cast<std::size_t>(y * width + x)]; }
    int NonZeroCount() const {
        int n = 0;
        for (float v : w) n += v != 0.0f;
        return n;
    }
};

Kernel Build(const FilterParameters& p, int diameter, int width, int height) {
    Kernel k{width, height, std::vector<float>(static_cast<std::size_t>(width * height), -7.0f)};
    BuildApertureKernel(p, diameter, width, height, k.w.data());
    return k;
}

Kernel Build(const FilterParameters& p, int diameter) { return Build(p, diameter, diameter, diameter); }

TEST(ApertureKernel, DiameterOneHoldsTheInnerWeight) {
    EXPECT_EQ(Build(Aperture(1, 0, 40, 0, 0), 1).w, std::vector<float>{0.6f});
    EXPECT_EQ(Build(Aperture(5, 30, -40, 0, 0), 1).w, std::vector<float>{1.0f});
}

TEST(ApertureKernel, SoftDiameterOneAveragesAPlusOfFive) {
    // On the 3x3 canvas the outer circle of radius 1 is a plus; an edge of 67 or more makes the inner
    // radius 1 as well, so the plus holds the inner weight.
    const float outer = 1.0f;
    const float inner = 0.6f;
    const float fourPlusOne = ((0.0f + outer + 0.0f) + outer + inner + outer) + (0.0f + outer + 0.0f);
    EXPECT_FLOAT_EQ(Build(Aperture(1, 66, 40, 0, 1), 1).w[0], static_cast<float>(fourPlusOne * 0.1111111111111111));
    const float five = ((0.0f + inner + 0.0f) + inner + inner + inner) + (0.0f + inner + 0.0f);
    EXPECT_FLOAT_EQ(Build(Aperture(1, 67, 40, 0, 1), 1).w[0], static_cast<float>(five * 0.1111111111111111));
}

TEST(ApertureKernel, RatioZeroIsUniformOnAndInsideTheOutline) {
    for (int vertices = 1; vertices <= 8; ++vertices) {
        for (int edge : {0, 40, 100}) {
            const Kernel k = Build(Aperture(vertices, edge, 0, 25, 0), 21);
            for (float v : k.w) ASSERT_TRUE(v == 0.0f || v == 1.0f) << vertices << " " << edge;
            // A streak need not pass through the centre; every filled shape covers it.
            if (vertices != 2) {
                EXPECT_EQ(k.At(10, 10), 1.0f);
            }
            EXPECT_GT(k.NonZeroCount(), 0);
            // Every row is one run: a convex shape with nothing left out inside.
            for (int y = 0; y < 21; ++y) {
                int runs = 0;
                for (int x = 0; x < 21; ++x) runs += k.At(x, y) != 0.0f && (x == 0 || k.At(x - 1, y) == 0.0f);
                EXPECT_LE(runs, 1) << vertices << " row " << y;
            }
        }
    }
}

TEST(ApertureKernel, PositiveRatioDarkensTheCentreIntoARing) {
    const Kernel k = Build(Aperture(1, 50, 100, 0, 0), 21);  // outer radius 10, inner radius 5
    EXPECT_EQ(k.At(10, 10), 0.0f);
    EXPECT_EQ(k.At(14, 10), 0.0f);
    EXPECT_EQ(k.At(15, 10), 0.0f);  // the inner outline holds the inner weight too
    EXPECT_EQ(k.At(16, 10), 1.0f);
    EXPECT_EQ(k.At(20, 10), 1.0f);
    EXPECT_EQ(k.At(10, 0), 1.0f);
    EXPECT_EQ(k.At(0, 0), 0.0f);
}

TEST(ApertureKernel, NegativeRatioDarkensTheRim) {
    const Kernel half = Build(Aperture(1, 50, -50, 0, 0), 21);
    EXPECT_EQ(half.At(10, 10), 1.0f);
    EXPECT_EQ(half.At(20, 10), 0.5f);

    const Kernel point = Build(Aperture(6, 0, -100, 0, 0), 21);
    EXPECT_EQ(point.NonZeroCount(), 1);
    EXPECT_EQ(point.At(10, 10), 1.0f);
}

TEST(ApertureKernel, NothingIsDrawnWhenBothWeightsVanishOrThereAreNoVertices) {
    EXPECT_EQ(Build(Aperture(1, 100, 100, 0, 0), 15).NonZeroCount(), 0);
    EXPECT_EQ(Build(Aperture(4, 100, 100, 0, 1), 15).NonZeroCount(), 0);
    EXPECT_EQ(Build(Aperture(0, 50, 0, 0, 0), 15).NonZeroCount(), 0);
    EXPECT_EQ(Build(Aperture(-3, 50, 0, 0, 1), 15).NonZeroCount(), 0);
}

TEST(ApertureKernel, VerticalStreakMovesItsUpperHalfOneColumnLeft) {
    // Rotation 90: the second vertex lies at 270 degrees, whose cosine is a tiny negative number, so
    // truncation puts it at cx - 1. The segment (5, 10) -> (4, 0) steps left halfway.
    const Kernel k = Build(Aperture(2, 0, 0, 90, 0), 11);
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 11; ++x) {
            const bool on = (x == 5 && y >= 5) || (x == 4 && y <= 5);
            ASSERT_EQ(k.At(x, y), on ? 1.0f : 0.0f) << x << "," << y;
        }
    }
}

TEST(ApertureKernel, SquareStandsOnACornerWithItsTopVertexShiftedLeft) {
    const Kernel k = Build(Aperture(4, 0, 0, 0, 0), 11);  // vertices (10,5), (5,10), (0,5), (4,0)
    auto onlyInRow = [&](int y, int x) {
        for (int i = 0; i < 11; ++i) EXPECT_EQ(k.At(i, y), i == x ? 1.0f : 0.0f) << i << "," << y;
    };
    auto onlyInColumn = [&](int x, int y) {
        for (int i = 0; i < 11; ++i) EXPECT_EQ(k.At(x, i), i == y ? 1.0f : 0.0f) << x << "," << i;
    };
    onlyInRow(0, 4);
    onlyInRow(10, 5);
    onlyInColumn(0, 5);
    onlyInColumn(10, 5);
    EXPECT_EQ(k.At(5, 5), 1.0f);
}

TEST(ApertureKernel, RotationTurnsThePolygonClockwiseOnScreen) {
    // A triangle at rotation 0 points right (+x); at 90 it points down (+y).
    const Kernel right = Build(Aperture(3, 0, 0, 0, 0), 21);
    EXPECT_EQ(right.At(20, 10), 1.0f);
    EXPECT_EQ(right.At(0, 10), 0.0f);
    const Kernel down = Build(Aperture(3, 0, 0, 90, 0), 21);
    EXPECT_EQ(down.At(10, 20), 1.0f);
    EXPECT_EQ(down.At(10, 0), 0.0f);
}

TEST(ApertureKernel, SoftIsTheThreeByThreeMeanOfTheTripleSizeDrawing) {
    for (int vertices : {1, 2, 3, 5, 8}) {
        for (int diameter : {5, 11, 20}) {
            const Kernel hard = Build(Aperture(vertices, 45, 30, 33, 0), 3 * diameter, 3 * diameter, 3 * diameter);
            const Kernel soft = Build(Aperture(vertices, 45, 30, 33, 1), diameter);
            for (int i = 0; i < diameter; ++i) {
                for (int j = 0; j < diameter; ++j) {
                    float sum = 0.0f;
                    for (int dy = 0; dy < 3; ++dy)
                        for (int dx = 0; dx < 3; ++dx) sum += hard.At(3 * j + dx, 3 * i + dy);
                    ASSERT_EQ(soft.At(j, i), static_cast<float>(sum * 0.1111111111111111))
                        << vertices << " " << diameter << " at " << j << "," << i;
                }
            }
        }
    }
}

TEST(ApertureKernel, SoftWithoutACanvasDrawsTheHardAperture) {
    const Kernel hard = Build(Aperture(6, 30, 50, 10, 0), 31);
    const std::int64_t live = LiveAllocations();
    FailAllocationNumber(1);
    const Kernel fallback = Build(Aperture(6, 30, 50, 10, 1), 31);
    FailAllocationNumber(0);
    EXPECT_EQ(fallback.w, hard.w);
    EXPECT_EQ(LiveAllocations(), live);
}

TEST(ApertureKernel, SmallDiameterIsCentredInALargerRaster) {
    for (int vertices : {1, 2, 3, 4, 7}) {
        const Kernel small = Build(Aperture(vertices, 20, 20, 100, 0), 5);
        const Kernel large = Build(Aperture(vertices, 20, 20, 100, 0), 5, 11, 9);  // centre (5, 4)
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 11; ++x) {
                const bool inside = x >= 3 && x < 8 && y >= 2 && y < 7;
                ASSERT_EQ(large.At(x, y), inside ? small.At(x - 3, y - 2) : 0.0f) << vertices << " " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace aperlume
