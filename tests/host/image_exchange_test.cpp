// The conversion between host samples and float planes, the selection's bounds, and the copy to the
// output, on a hand-made FilterRecord.
#include "host/pixel_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/image_requests.h"
#include "host/movable_handle.h"
#include "host/plugin_context.h"

namespace aperlume {
namespace {

struct Document {
    FilterRecord record{};
    Rect area{};
    std::vector<std::uint8_t> in, out, mask;

    Document(int width, int height, int planes, std::int16_t mode) {
        record.imageSize = {static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
        record.planes = static_cast<std::int16_t>(planes);
        record.imageMode = mode;
        int bytes = BytesPerSample(record);
        record.inRowBytes = record.outRowBytes = width * planes * bytes;
        in.assign(static_cast<std::size_t>(record.inRowBytes * height) + 1, 0);
        out.assign(in.size(), 0);
        record.inData = in.data();
        record.outData = out.data();
        record.parameters = NewHandle(sizeof(FilterParameters));
        *static_cast<FilterParameters*>(HandleData(record.parameters)) = kDefaultParameters;
        FixColumnBytes(record);
        area = WholeImageRect(record);
        record.filterRect = WholeImageRect(record);
    }
    ~Document() { DisposeHandle(record.parameters); }
    void SetMask(const std::vector<std::uint8_t>& bytes) {
        mask = bytes;
        record.haveMask = 1;
        record.maskData = mask.data();
        record.maskRowBytes = record.imageSize.h;
    }
    FilterParameters& Settings() { return *static_cast<FilterParameters*>(HandleData(record.parameters)); }

    // Planes of the area's size over the test's buffers.
    template <class... Buffers>
    std::vector<PlaneView> Views(Buffers&... buffers) const {
        const std::int32_t width = area.right - area.left;
        const std::int32_t height = area.bottom - area.top;
        return {PlaneView{buffers.data(), width, height, width}...};
    }
    void Read(const std::vector<PlaneView>& planes, float* weights) {
        ReadPlanes(record, area, BytesPerSample(record), planes, weights);
    }
    void Write(const std::vector<PlaneView>& planes, const float* weights) {
        WritePlanes(record, area, BytesPerSample(record), planes, weights, DepthMapInForce(Settings()));
    }
};

TEST(ImageExchange, SixteenBitSamplesUseTheHostsRangeOfZeroTo32768) {
    Document doc(2, 1, 1, kModeGray16);
    const std::uint16_t samples[2] = {32768, 16384};
    std::memcpy(doc.in.data(), samples, sizeof samples);
    std::vector<float> plane(2);
    const std::vector<PlaneView> planes = doc.Views(plane);
    doc.Read(planes, nullptr);
    EXPECT_FLOAT_EQ(plane[0], 1.0f);
    EXPECT_FLOAT_EQ(plane[1], 0.5f);

    plane = {1.2f, -0.3f};
    doc.Write(planes, nullptr);
    std::uint16_t written[2];
    std::memcpy(written, doc.out.data(), sizeof written);
    EXPECT_EQ(written[0], 32768);  // clamped to the host's white
    EXPECT_EQ(written[1], 0);
}

TEST(ImageExchange, EightBitWriteBackRoundsHalfUpAndClamps) {
    Document doc(4, 1, 1, kModeGrayScale);
    std::vector<float> plane = {1.2f, -0.01f, 100.5f / 255.0f, 100.49f / 255.0f};
    const std::vector<PlaneView> planes = doc.Views(plane);
    doc.Write(planes, nullptr);
    EXPECT_EQ(doc.out[0], 255);
    EXPECT_EQ(doc.out[1], 0);
    EXPECT_EQ(doc.out[2], 101);
    EXPECT_EQ(doc.out[3], 100);
}

TEST(ImageExchange, WriteBackBlendsWithTheSourceBySelectionUnlessTheDepthMapIsInForce) {
    Document doc(2, 1, 1, kModeGrayScale);
    doc.in[0] = 200;
    doc.in[1] = 200;
    doc.SetMask({255, 0});
    std::vector<float> plane(2), weights(2);
    const std::vector<PlaneView> planes = doc.Views(plane);
    doc.Read(planes, weights.data());
    EXPECT_FLOAT_EQ(weights[0], 1.0f);
    EXPECT_FLOAT_EQ(weights[1], 0.0f);

    plane = {0.0f, 0.0f};
    doc.Write(planes, weights.data());
    EXPECT_EQ(doc.out[0], 0);    // fully selected: the rendered value
    EXPECT_EQ(doc.out[1], 200);  // unselected: the source

    doc.Settings().depth = 1;  // with the direct method: no blending at all
    doc.Write(planes, weights.data());
    EXPECT_EQ(doc.out[1], 0);
}

TEST(ImageExchange, WeightsOutsideTheFilterRectangleAreZero) {
    Document doc(3, 1, 1, kModeGrayScale);
    doc.SetMask({255, 255, 128});
    doc.record.filterRect = Rect{0, 1, 1, 3};
    std::vector<float> plane(3), weights(3);
    const std::vector<PlaneView> planes = doc.Views(plane);
    doc.Read(planes, weights.data());
    EXPECT_FLOAT_EQ(weights[0], 0.0f);
    EXPECT_FLOAT_EQ(weights[1], 1.0f);
    EXPECT_NEAR(weights[2], 128.0 / 255.0, 1e-7);
}

TEST(ImageExchange, ReadAndWriteCoverOnlyTheRenderRectangle) {
    Document doc(3, 3, 3, kModeRGB);
    for (std::size_t i = 0; i < 27; ++i) doc.in[i] = static_cast<std::uint8_t>(i * 9);
    doc.area = Rect{1, 1, 2, 3};  // row 1, columns 1..2
    std::vector<float> r(2), g(2), b(2);
    const std::vector<PlaneView> planes = doc.Views(r, g, b);
    doc.Read(planes, nullptr);
    EXPECT_FLOAT_EQ(r[0], static_cast<float>((1 * 9 + 3) * 9 / 255.0));
    EXPECT_FLOAT_EQ(b[1], static_cast<float>((1 * 9 + 6 + 2) * 9 / 255.0));
    doc.Write(planes, nullptr);
    for (std::size_t i = 0; i < 27; ++i) {
        bool inside = i >= 12 && i < 18;
        EXPECT_EQ(doc.out[i], inside ? doc.in[i] : 0) << "sample " << i;
    }
}

TEST(ImageExchange, HostsThatLeaveColumnBytesUnsetGetPlanesTimesSampleSize) {
    FilterRecord record{};
    record.planes = 4;
    record.imageMode = kModeRGB48;
    record.inColumnBytes = 0;
    record.outColumnBytes = -1;
    FixColumnBytes(record);
    EXPECT_EQ(record.inColumnBytes, 8);
    EXPECT_EQ(record.outColumnBytes, 8);
    record.inColumnBytes = 10;
    FixColumnBytes(record);
    EXPECT_EQ(record.inColumnBytes, 10);
}

TEST(SelectionBounds, CoverTheNonZeroMaskBytes) {
    Document doc(20, 30, 1, kModeGrayScale);
    std::vector<std::uint8_t> mask(600, 0);
    for (int row = 10; row < 20; ++row)
        for (int column = 5; column < 10; ++column) mask[static_cast<std::size_t>(row * 20 + column)] = 1;
    doc.SetMask(mask);
    ComputeSelectionBounds(doc.record);
    EXPECT_EQ(doc.record.filterRect, (Rect{10, 5, 20, 10}));
}

TEST(SelectionBounds, AnEmptyOrMissingSelectionMeansTheWholeImage) {
    Document doc(7, 5, 1, kModeGrayScale);
    doc.record.filterRect = Rect{1, 1, 2, 2};
    ComputeSelectionBounds(doc.record);
    EXPECT_EQ(doc.record.filterRect, (Rect{0, 0, 5, 7}));
    doc.SetMask(std::vector<std::uint8_t>(35, 0));
    doc.record.filterRect = Rect{1, 1, 2, 2};
    ComputeSelectionBounds(doc.record);
    EXPECT_EQ(doc.record.filterRect, (Rect{0, 0, 5, 7}));
}

TEST(ImageExchange, CopyInputToOutputCopiesEveryRow) {
    Document doc(3, 4, 2, kModeGrayScale);
    for (std::size_t i = 0; i < 24; ++i) doc.in[i] = static_cast<std::uint8_t>(i + 1);
    CopyInputToOutput(doc.record);
    EXPECT_TRUE(std::equal(doc.in.begin(), doc.in.begin() + 24, doc.out.begin()));
}

}  // namespace
}  // namespace aperlume
