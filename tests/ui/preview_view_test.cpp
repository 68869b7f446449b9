// Zoom scale and label, view rectangles and panning of the preview.
#include "ui/preview_view.h"

#include <gtest/gtest.h>

#include "tests/ui/preview_fixture.h"

namespace aperlume {
namespace {

using testing::PreviewFixture;

TEST(ZoomScale, StepsGiveScalesAndLabelPercentages) {
    struct Row {
        std::int32_t step;
        double scale;
        std::int32_t percent;
    };
    const Row rows[] = {{-10, 1.0 / 12, 1200}, {-9, 1.0 / 11, 1100}, {-8, 0.1, 1000}, {-7, 1.0 / 9, 900},
                        {-6, 0.125, 800},      {-5, 1.0 / 7, 700},   {-4, 1.0 / 6, 600}, {-3, 0.2, 500},
                        {-2, 0.25, 400},       {-1, 1.0 / 3, 300},   {0, 0.5, 200},      {1, 1, 100},
                        {2, 2, 50},            {3, 3, 33},           {4, 4, 25},         {5, 5, 20},
                        {6, 6, 17},            {7, 7, 14},           {8, 8, 13},         {200, 200, 1},
                        {201, 201, 0}};
    for (const Row& row : rows) {
        EXPECT_DOUBLE_EQ(ZoomScaleOfStep(row.step), row.scale) << row.step;
        EXPECT_EQ(ZoomPercent(row.step), row.percent) << row.step;
    }
    PreviewFixture f(10, 10, 3, kModeRGB);
    f.context.zoomStep = -2;
    EXPECT_DOUBLE_EQ(ZoomScale(f.context), 0.25);
}

TEST(ViewRect, ImageSmallerThanThePaneIsCentred) {
    PreviewFixture f(100, 100, 3, kModeRGB);
    f.context.previewRect = Rect{0, 0, 120, 150};  // 150 wide, 120 high
    f.context.viewCenterV = 50;
    f.context.viewCenterH = 50;
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{-10, -25, 110, 125}));
    // Odd differences truncate toward zero: (100 - 121) / 2 = -10.
    f.context.previewRect = Rect{0, 0, 121, 150};
    EXPECT_EQ(ComputeViewRect(f.context).top, -10);
    EXPECT_EQ(ComputeViewRect(f.context).bottom, 111);
}

TEST(ViewRect, CentreInTheCornersIsClampedIntoTheImage) {
    PreviewFixture f(400, 300, 3, kModeRGB);  // 400 columns, 300 rows
    f.context.previewRect = Rect{10, 20, 50, 70};  // 50 x 40 at an offset: only its size counts
    f.context.viewCenterV = 0;
    f.context.viewCenterH = 0;
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{0, 0, 40, 50}));
    f.context.viewCenterV = 300;
    f.context.viewCenterH = 400;
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{260, 350, 300, 400}));
    f.context.viewCenterV = 100.5;  // halves round up
    f.context.viewCenterH = 100.4;
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{81, 75, 121, 125}));
    f.context.zoomStep = 2;  // twice the image under the same pane
    f.context.viewCenterV = 150;
    f.context.viewCenterH = 200;
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{110, 150, 190, 250}));
    f.context.zoomStep = 0;  // half: ceil(20) x ceil(25)
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{140, 188, 160, 213}));
}

TEST(ViewRect, FarZoomOutSaturatesInsteadOfWrapping) {
    PreviewFixture f(100, 100, 3, kModeRGB);
    f.context.previewRect = Rect{0, 0, 40, 50};
    f.context.zoomStep = 2000;  // the view is 80000 x 100000 image pixels
    const ViewBounds bounds = ComputeViewBounds(f.context);
    EXPECT_EQ(bounds.top, -39950);
    EXPECT_EQ(bounds.bottom, 40050);
    EXPECT_EQ(ComputeViewRect(f.context), (Rect{INT16_MIN, INT16_MIN, INT16_MAX, INT16_MAX}));
}

TEST(PanView, FollowsTheMouseAndStaysInsideTheImage) {
    PreviewFixture f(400, 300, 3, kModeRGB);
    f.context.previewRect = Rect{0, 0, 40, 50};
    f.context.viewCenterV = 150;
    f.context.viewCenterH = 200;
    PanView(f.context, 10, -5);  // dragging right moves the centre left
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 190);
    EXPECT_DOUBLE_EQ(f.context.viewCenterV, 155);
    PanView(f.context, 1000, -1000);
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 25);   // trunc(0.5 * 50)
    EXPECT_DOUBLE_EQ(f.context.viewCenterV, 280);  // trunc(300 - 0.5 * 40)
    f.context.zoomStep = 2;
    f.context.viewCenterH = 200;
    PanView(f.context, 3, 0);
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 194);
    f.context.zoomStep = -1;  // a third of an image pixel per pane pixel
    PanView(f.context, -3, 0);
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 195);
}

TEST(PanView, ADirectionLargerThanTheImageStaysCentred) {
    PreviewFixture f(100, 301, 3, kModeRGB);  // fits across, not down
    f.context.previewRect = Rect{0, 0, 40, 150};
    f.context.viewCenterV = 150;
    f.context.viewCenterH = 10;
    PanView(f.context, 20, 20);
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 50);
    EXPECT_DOUBLE_EQ(f.context.viewCenterV, 130);
    PanView(f.context, -70, 0);
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 50);
}

}  // namespace
}  // namespace aperlume
