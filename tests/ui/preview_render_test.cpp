// The preview's whole-image fetch, its buffers, and the preview render's sampling, centring, depth
// conversion, transparency, mask blending and fallback.
#include "ui/preview_render.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/aperture_kernel.h"
#include "base/result.h"
#include "base/working_memory.h"
#include "tests/ui/preview_fixture.h"
#include "ui/preview_view.h"

namespace aperlume {
namespace {

using testing::PreviewFixture;

// A sample that identifies its row, column and plane.
std::uint32_t Coded(std::int32_t row, std::int32_t column, std::int32_t plane) {
    return static_cast<std::uint32_t>((row * 7 + column * 3 + plane * 50) % 251);
}

class PreviewRender : public ::testing::Test {
protected:
    void Prepare(PreviewFixture& f) {
        ASSERT_EQ(f.session.AllocateBuffers(), kNoError);
        f.result = SetupPreview(f.session);
        ASSERT_EQ(f.result, kNoError);
    }
    void TearDown() override { EXPECT_EQ(LiveAllocations(), liveBefore_); }

    static std::uint8_t Pixel(const PreviewFixture& f, std::int32_t i, std::int32_t j, std::int32_t p,
                              std::int32_t pixelBytes = 3) {
        const std::int32_t width = f.context.previewRect.right - f.context.previewRect.left;
        return f.session.Pixels()[(i * width + j) * pixelBytes + p];
    }

    std::int64_t liveBefore_ = LiveAllocations();
};

TEST_F(PreviewRender, AtStepOneEveryPanePixelIsOneImagePixelOfTheView) {
    PreviewFixture f(200, 100, 3, kModeRGB);
    f.Fill(&Coded);
    Prepare(f);  // centre (50, 100): view rows 30..69, columns 75..124 of a 50 x 40 pane
    f.result = RenderPreview(f.session, 0);
    for (std::int32_t i = 0; i < 40; ++i)
        for (std::int32_t j = 0; j < 50; ++j) {
            for (std::int32_t p = 0; p < 3; ++p) ASSERT_EQ(Pixel(f, i, j, p), Coded(30 + i, 75 + j, p));
            ASSERT_EQ(f.session.Mask()[i * 50 + j], 1);  // no selection: every pixel shown
        }
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, AtStepZeroEachImagePixelFillsATwoByTwoBlock) {
    PreviewFixture f(200, 100, 3, kModeRGB);
    f.Fill(&Coded);
    Prepare(f);
    f.context.zoomStep = 0;
    const Rect view = ComputeViewRect(f.context);
    f.result = RenderPreview(f.session, 0);
    for (std::int32_t i = 0; i < 40; ++i)
        for (std::int32_t j = 0; j < 50; ++j)
            for (std::int32_t p = 0; p < 3; ++p)
                ASSERT_EQ(Pixel(f, i, j, p), Coded(view.top + i / 2, view.left + j / 2, p)) << i << "," << j;
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, AtStepTwoEverySecondPixelOfEverySecondRowIsShown) {
    PreviewFixture f(200, 100, 3, kModeRGB);
    f.Fill(&Coded);
    Prepare(f);
    f.context.zoomStep = 2;
    const Rect view = ComputeViewRect(f.context);
    ASSERT_EQ(view, (Rect{10, 50, 90, 150}));
    f.result = RenderPreview(f.session, 0);
    for (std::int32_t i = 0; i < 40; ++i)
        for (std::int32_t j = 0; j < 50; ++j)
            for (std::int32_t p = 0; p < 3; ++p) ASSERT_EQ(Pixel(f, i, j, p), Coded(10 + 2 * i, 50 + 2 * j, p));
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, AnImageSmallerThanThePaneIsCentredOnBlack) {
    PreviewFixture f(20, 10, 3, kModeRGB);
    f.Fill(&Coded);
    Prepare(f);  // 20 x 10 in a 50 x 40 pane: offsets 15 across, 15 down
    f.result = RenderPreview(f.session, 0);
    for (std::int32_t i = 0; i < 40; ++i)
        for (std::int32_t j = 0; j < 50; ++j) {
            const bool inside = i >= 15 && i < 25 && j >= 15 && j < 35;
            ASSERT_EQ(f.session.Mask()[i * 50 + j], inside ? 1 : 0) << i << "," << j;
            for (std::int32_t p = 0; p < 3; ++p)
                ASSERT_EQ(Pixel(f, i, j, p), inside ? Coded(i - 15, j - 15, p) : 0u) << i << "," << j;
        }
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, AViewOnePixelWiderThanTheImageStartsAtItsFirstColumn) {
    // At step 2 a 50-pixel pane spans 100 columns of this 98-column image: the view starts at column
    // -1 while the 49 shown columns leave no offset. The first column must be image column 0.
    PreviewFixture f(98, 300, 3, kModeRGB);
    f.Fill(&Coded);
    Prepare(f);
    f.context.zoomStep = 2;
    ASSERT_EQ(ComputeViewRect(f.context).left, -1);
    f.result = RenderPreview(f.session, 0);
    const Rect view = ComputeViewRect(f.context);
    for (std::int32_t j = 0; j < 49; ++j) ASSERT_EQ(Pixel(f, 0, j, 0), Coded(view.top, 2 * j, 0)) << j;
    EXPECT_EQ(f.session.Mask()[49], 0);
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, SixteenBitSamplesAreShownAsEightBit) {
    PreviewFixture f(4, 1, 1, kModeGray16);
    f.context.previewRect = Rect{0, 0, 1, 4};
    f.SetSample(0, 0, 0, 32768);
    f.SetSample(0, 1, 0, 16384);
    f.SetSample(0, 2, 0, 255);
    f.SetSample(0, 3, 0, 0x7FFF);
    Prepare(f);
    f.result = RenderPreview(f.session, 0);
    const std::uint8_t expected[] = {255, 128, 1, 255};
    for (std::int32_t j = 0; j < 4; ++j) EXPECT_EQ(f.session.Pixels()[j], expected[j]) << j;
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, TheTransparencyPlaneIsFetchedOnceAndFollowsTheColourBytes) {
    PreviewFixture f(3, 2, 3, kModeRGB48, /*transparencyBeside=*/true);
    f.context.previewRect = Rect{0, 0, 2, 3};
    const std::uint32_t alpha[6] = {0, 0x7F, 0x80, 0x4000, 0x7FFF, 0x8000};
    for (std::int32_t k = 0; k < 6; ++k) {
        f.SetSample(k / 3, k % 3, 0, 32768);
        f.SetSample(k / 3, k % 3, 3, alpha[k]);
    }
    Prepare(f);
    EXPECT_EQ(f.AdvanceCalls(), 2);  // once with the transparency, once without
    EXPECT_EQ(f.record.planes, 3);
    EXPECT_EQ(f.record.inHiPlane, 2);
    const std::uint8_t expected[6] = {0, 0, 1, 128, 255, 255};
    for (std::int32_t k = 0; k < 6; ++k) EXPECT_EQ(f.session.Transparency()[k], expected[k]) << k;
    f.result = RenderPreview(f.session, 0);
    for (std::int32_t k = 0; k < 6; ++k) {
        EXPECT_EQ(f.session.Pixels()[k * 4], 255) << k;
        EXPECT_EQ(f.session.Pixels()[k * 4 + 3], expected[k]) << k;
    }
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, AFullRenderIsShownBlendedWithTheSourceByTheSelection) {
    PreviewFixture f(50, 40, 3, kModeRGB);
    f.Fill([](std::int32_t r, std::int32_t c, std::int32_t) -> std::uint32_t { return (r % 10 == 5 && c % 10 == 5) ? 255 : 20; });
    std::vector<std::uint8_t> mask(50 * 40);
    for (std::size_t k = 0; k < mask.size(); ++k) mask[k] = static_cast<std::uint8_t>((k * 37) % 256);
    f.SetSelection(mask);
    f.Block()->amount = 3;
    f.Block()->vertices = 1;
    Prepare(f);
    f.result = RenderPreview(f.session, 1);
    ASSERT_EQ(f.result, 0);
    EXPECT_EQ(f.context.renderRect, (Rect{0, 0, 40, 50}));
    bool someBlurred = false;
    for (std::int32_t k = 0; k < 50 * 40; ++k) {
        const double w = mask[k] * (1.0 / 255.0);
        for (std::int32_t p = 0; p < 3; ++p) {
            const std::uint8_t a = f.Input()[k * 3 + p];
            const std::uint8_t b = f.Output()[k * 3 + p];
            ASSERT_EQ(f.session.Pixels()[k * 3 + p], static_cast<std::uint8_t>(a * (1.0 - w) + b * w)) << k;
            someBlurred = someBlurred || a != b;
        }
        ASSERT_EQ(f.session.Mask()[k], mask[k]);
    }
    EXPECT_TRUE(someBlurred);
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, ASixteenBitFullRenderIsBlendedByAPartialSelectionAsAnEightBitOneIs) {
    // The same image in both depths (16-bit samples = 8-bit ones x 128) under the same partial mask: the
    // pane shows the same blend of source and render, up to the rounding of the two depths.
    auto preview = [](std::int16_t mode, std::uint32_t scale, std::vector<std::uint8_t>* unblended) {
        PreviewFixture f(50, 40, 3, mode);
        f.Fill([](std::int32_t r, std::int32_t c, std::int32_t) -> std::uint32_t {
            return (r % 10 == 5 && c % 10 == 5) ? 255 : 20;
        });
        if (scale != 1)
            for (std::int32_t r = 0; r < 40; ++r)
                for (std::int32_t c = 0; c < 50; ++c)
                    for (std::int32_t p = 0; p < 3; ++p)
                        f.SetSample(r, c, p, ((r % 10 == 5 && c % 10 == 5) ? 255u : 20u) * scale);
        std::vector<std::uint8_t> mask(50 * 40);
        for (std::size_t k = 0; k < mask.size(); ++k) mask[k] = static_cast<std::uint8_t>((k * 37) % 256);
        f.SetSelection(mask);
        f.Block()->amount = 3;
        f.Block()->vertices = 1;
        EXPECT_EQ(f.session.AllocateBuffers(), kNoError);
        EXPECT_EQ(SetupPreview(f.session), kNoError);
        EXPECT_EQ(RenderPreview(f.session, 1), kNoError);
        // What the render alone would show.
        if (unblended != nullptr) unblended->assign(f.Output(), f.Output() + 50 * 40 * 3);
        return std::vector<std::uint8_t>(f.session.Pixels(), f.session.Pixels() + 50 * 40 * 3);
    };
    std::vector<std::uint8_t> eightUnblended;
    const std::vector<std::uint8_t> eight = preview(kModeRGB, 1, &eightUnblended);
    const std::vector<std::uint8_t> sixteen = preview(kModeRGB48, 128, nullptr);
    int farFromTheRender = 0;
    for (std::size_t k = 0; k < eight.size(); ++k) {
        ASSERT_NEAR(sixteen[k], eight[k], 2) << "sample " << k;
        farFromTheRender += std::abs(eight[k] - eightUnblended[k]) > 10 ? 1 : 0;
    }
    EXPECT_GT(farFromTheRender, 100);  // the blend shows: an unblended preview would fail above
}

TEST_F(PreviewRender, WithoutSelectionTheFullRenderIsShownAsIs) {
    PreviewFixture f(50, 40, 1, kModeGray16);
    f.Fill([](std::int32_t r, std::int32_t c, std::int32_t) -> std::uint32_t { return (r == 20 && c == 25) ? 32768 : 3000; });
    f.Block()->amount = 2;
    f.Block()->vertices = 1;
    Prepare(f);
    f.result = RenderPreview(f.session, 1);
    ASSERT_EQ(f.result, 0);
    for (std::int32_t k = 0; k < 50 * 40; ++k) {
        std::uint16_t b = 0;
        std::memcpy(&b, f.Output() + 2 * k, 2);
        ASSERT_EQ(f.session.Pixels()[k], b >= 0x8000 ? 255 : b >> 7) << k;
    }
    f.session.ReleaseBuffers();
}

Boolean AlwaysAbort() { return 1; }

TEST_F(PreviewRender, AStoppedOrFailedRenderFallsBackToTheSourceAndKeepsItsCode) {
    PreviewFixture f(50, 40, 3, kModeRGB);
    f.Fill(&Coded);
    Prepare(f);
    std::memset(f.Output(), 0xEE, 50 * 40 * 3);
    f.record.abortProc = &AlwaysAbort;
    f.result = RenderPreview(f.session, 1);
    EXPECT_EQ(f.result, kUserCanceled);
    for (std::int32_t k = 0; k < 50 * 40 * 3; ++k) ASSERT_EQ(f.session.Pixels()[k], f.Input()[k]);

    f.record.abortProc = nullptr;
    f.result = 0;
    FailAllocationNumber(1);  // the render's first plane buffer
    f.result = RenderPreview(f.session, 1);
    FailAllocationNumber(0);
    EXPECT_EQ(f.result, kOutOfMemory);
    for (std::int32_t k = 0; k < 50 * 40 * 3; ++k) ASSERT_EQ(f.session.Pixels()[k], f.Input()[k]);

    // Only the low 8 bits of the flag count: 0x100 is a quick render, which leaves the output alone.
    f.result = 0;
    f.result = RenderPreview(f.session, 0x100);
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.Output()[0], 0xEE);
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, TheRenderCoversOnlyTheVisiblePartOfTheFilterRectangle) {
    PreviewFixture f(200, 100, 3, kModeRGB);
    std::vector<std::uint8_t> mask(200 * 100, 0);
    for (std::int32_t r = 10; r < 20; ++r)
        for (std::int32_t c = 5; c < 10; ++c) mask[r * 200 + c] = 255;
    f.SetSelection(mask);
    Prepare(f);
    f.context.viewCenterV = 20;
    f.context.viewCenterH = 25;  // view rows 0..39, columns 0..49
    f.result = RenderPreview(f.session, 1);
    EXPECT_EQ(f.record.filterRect, (Rect{10, 5, 20, 10}));
    EXPECT_EQ(f.context.renderRect, (Rect{10, 5, 20, 10}));

    // With the depth map the visible part, clamped to the image, is the filter rectangle.
    f.Block()->depth = 1;
    f.context.viewCenterV = 100;
    f.context.viewCenterH = 200;
    f.result = RenderPreview(f.session, 1);
    EXPECT_EQ(f.record.filterRect, (Rect{60, 150, 100, 200}));
    EXPECT_EQ(f.context.renderRect, (Rect{60, 150, 100, 200}));
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, TheApertureThumbnailIsRebuiltFromTheSettings) {
    PreviewFixture f(20, 20, 3, kModeRGB);
    Prepare(f);
    std::vector<float> expected(kThumbSize * kThumbSize);
    f.Block()->vertices = 5;
    f.result = RenderPreview(f.session, 0);
    BuildApertureKernel(*f.Block(), kThumbSize, kThumbSize, kThumbSize, expected.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), f.session.Thumb()));
    f.Block()->vertices = 3;
    f.Block()->rotation = 30;
    f.result = RenderPreview(f.session, 0);
    EXPECT_FALSE(std::equal(expected.begin(), expected.end(), f.session.Thumb()));
    BuildApertureKernel(*f.Block(), kThumbSize, kThumbSize, kThumbSize, expected.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), f.session.Thumb()));
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, SetupRequestsTheWholeImageAroundTheFilterRectangle) {
    PreviewFixture f(200, 100, 3, kModeRGB);
    f.record.filterRect = Rect{10, 20, 31, 61};
    f.context.zoomStep = 5;
    f.result = SetupPreview(f.session);
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.AdvanceCalls(), 1);
    for (const Rect& r : {f.record.inRect, f.record.outRect, f.record.maskRect}) EXPECT_EQ(r, (Rect{0, 0, 100, 200}));
    EXPECT_DOUBLE_EQ(f.context.viewCenterV, 20);
    EXPECT_DOUBLE_EQ(f.context.viewCenterH, 40);
    EXPECT_EQ(f.context.zoomStep, 1);
    EXPECT_EQ(f.record.inputRate, 0x10000);
    EXPECT_EQ(f.record.maskRate, 0x10000);
    EXPECT_EQ(f.record.inLoPlane, 0);
    EXPECT_EQ(f.record.outHiPlane, 2);
    EXPECT_EQ(f.record.inputPadding, 255);
    EXPECT_EQ(f.record.maskPadding, 255);

    f.FailAdvanceState(-30);
    f.result = SetupPreview(f.session);
    EXPECT_EQ(f.result, -30);
}

TEST_F(PreviewRender, AFailedTransparencyFetchStopsTheSetupWithItsCode) {
    PreviewFixture f(4, 4, 1, kModeGrayScale, /*transparencyBeside=*/true);
    ASSERT_EQ(f.session.AllocateBuffers(), kNoError);
    f.FailAdvanceState(-108);
    f.result = SetupPreview(f.session);
    EXPECT_EQ(f.result, -108);
    EXPECT_EQ(f.AdvanceCalls(), 1);
    EXPECT_EQ(f.record.planes, 1);
    EXPECT_EQ(f.record.inHiPlane, 0);
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, BuffersAreAllOrNothingAndReleasedOnEveryFailure) {
    PreviewFixture f(30, 20, 3, kModeRGB, /*transparencyBeside=*/true);
    for (std::int64_t failing = 1; failing <= 4; ++failing) {
        FailAllocationNumber(failing);
        EXPECT_EQ(f.session.AllocateBuffers(), kOutOfMemory) << failing;
        FailAllocationNumber(0);
        EXPECT_EQ(LiveAllocations(), liveBefore_) << failing;
        EXPECT_EQ(f.session.Pixels(), nullptr);
        EXPECT_EQ(f.session.Mask(), nullptr);
        EXPECT_EQ(f.session.Transparency(), nullptr);
        EXPECT_EQ(f.session.Thumb(), nullptr);
    }
    ASSERT_EQ(f.session.AllocateBuffers(), kNoError);
    EXPECT_EQ(LiveAllocations(), liveBefore_ + 4);
    EXPECT_TRUE(f.session.BuffersReady());
    // A second call keeps what is there.
    std::uint8_t* pixels = f.session.Pixels();
    ASSERT_EQ(f.session.AllocateBuffers(), kNoError);
    EXPECT_EQ(f.session.Pixels(), pixels);
    f.session.ReleaseBuffers();
    EXPECT_FALSE(f.session.BuffersReady());

    // Without buffers, or without an image, a render does nothing and does not fault.
    f.result = RenderPreview(f.session, 1);
    EXPECT_EQ(f.result, 0);
    ASSERT_EQ(f.session.AllocateBuffers(), kNoError);
    f.result = RenderPreview(f.session, 0);
    f.session.ReleaseBuffers();
}

TEST_F(PreviewRender, ABufferSizeBeyondTheAddressSpaceIsRefused) {
    if constexpr (sizeof(std::size_t) > 4) {
        GTEST_SKIP() << "sizes cannot overflow a 64-bit size_t here";
    } else {
        PreviewFixture f(10, 10, 3, kModeRGB);
        f.record.planes = 32000;  // 32001 x 32767 x 32767 bytes
        f.context.previewRect = Rect{0, 0, 32767, 32767};
        EXPECT_EQ(f.session.AllocateBuffers(), kOutOfMemory);
        EXPECT_EQ(f.session.Pixels(), nullptr);
    }
}

}  // namespace
}  // namespace aperlume
