// The conversion between host samples and float planes, the selection's bounds, the copy to the output,
// and the check of what the host delivered, over our own host's buffers.
#include "host/pixel_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "host/image_requests.h"
#include "host/plugin_context.h"
#include "tests/support/linked_host.h"
#include "tests/support/misdeliveries.h"

namespace aperlume {
namespace {

// A document whose whole image the host has delivered (Deliver, after the test set its samples), with an
// output document of zeros so that any write shows.
struct Document {
    testhost::FilterHost host = testing::LinkedHost();
    testing::ParameterBlock block;
    Rect area{};

    Document(int width, int height, int planes, std::int16_t mode) {
        host.SetImage(testhost::MakeImage(width, height, static_cast<std::int16_t>(planes), mode));
        host.SetOutputImage(host.Input());
    }
    FilterRecord& Record() { return host.Record(); }
    std::vector<std::uint8_t>& In() { return host.Input().samples; }
    const std::vector<std::uint8_t>& Out() {
        host.CommitOutput();
        return host.Output().samples;
    }
    void Deliver(const testhost::HostQuirks& quirks = {}) {
        host.SetQuirks(quirks);
        host.PrepareRecord();
        Record().parameters = block.Get();
        ASSERT_EQ(FetchWholeImage(Record()), kNoError);
        FixColumnBytes(Record());
        area = WholeImageRect(Record());
    }

    // Planes of the area's size over the test's buffers.
    template <class... Buffers>
    std::vector<PlaneView> Views(Buffers&... buffers) const {
        const std::int32_t width = area.right - area.left;
        const std::int32_t height = area.bottom - area.top;
        return {PlaneView{buffers.data(), width, height, width}...};
    }
    void Read(const std::vector<PlaneView>& planes, float* weights) {
        ReadPlanes(Record(), area, BytesPerSample(Record()), planes, weights, 1);
    }
    void Write(const std::vector<PlaneView>& planes, const float* weights) {
        WritePlanes(Record(), area, BytesPerSample(Record()), planes, weights, DepthMapInForce(block.Settings()), 1);
    }
};

// The exchange as first written, sample by sample in double precision: the oracle. Reads into `planes`
// (area-sized) and `weights`; writes the planes over a copy of the output buffer.
void OracleRead(const FilterRecord& record, const Rect& area, int bytes, std::vector<std::vector<float>>& planes,
                std::vector<float>& weights) {
    std::size_t j = 0;
    for (int row = area.top; row < area.bottom; ++row) {
        for (int column = area.left; column < area.right; ++column, ++j) {
            const auto* pixel = static_cast<const std::uint8_t*>(record.inData) + row * record.inRowBytes + column * record.inColumnBytes;
            for (std::size_t p = 0; p < planes.size(); ++p) {
                const std::uint8_t* sample = pixel + static_cast<int>(p) * bytes;
                planes[p][j] = static_cast<float>(bytes == 2 ? (sample[0] | sample[1] << 8) / 32768.0 : *sample * (1.0 / 255.0));
            }
            const Rect& f = record.filterRect;
            const bool inside = row >= f.top && row < f.bottom && column >= f.left && column < f.right;
            const std::uint8_t mask = static_cast<const std::uint8_t*>(record.maskData)[row * record.maskRowBytes + column];
            weights[j] = record.haveMask == 0 ? 1.0f : inside ? static_cast<float>(mask * (1.0 / 255.0)) : 0.0f;
        }
    }
}
std::vector<std::uint8_t> OracleWrite(const FilterRecord& record, const Rect& area, int bytes,
                                      const std::vector<std::vector<float>>& planes, const float* weights,
                                      std::vector<std::uint8_t> out) {
    const double white = bytes == 2 ? 32768 : 255;
    std::size_t j = 0;
    for (int row = area.top; row < area.bottom; ++row) {
        for (int column = area.left; column < area.right; ++column, ++j) {
            for (std::size_t p = 0; p < planes.size(); ++p) {
                const int offset = static_cast<int>(p) * bytes;
                const auto* s = static_cast<const std::uint8_t*>(record.inData) + row * record.inRowBytes + column * record.inColumnBytes + offset;
                const double v = planes[p][j];
                const double x = weights != nullptr ? (bytes == 2 ? s[0] | s[1] << 8 : *s) * (1.0 - weights[j]) + v * weights[j] * white : v * white;
                const double rounded = x + 0.5;
                const int level = !(rounded >= 0.0) ? 0 : rounded >= white ? static_cast<int>(white) : static_cast<int>(rounded);
                const std::size_t at = static_cast<std::size_t>(row * record.outRowBytes + column * record.outColumnBytes + offset);
                out[at] = static_cast<std::uint8_t>(level);
                if (bytes == 2) out[at + 1] = static_cast<std::uint8_t>(level >> 8);
            }
        }
    }
    return out;
}

// Over buffers with and without padding, a render rectangle inside the image and a filter rectangle
// across it, with and without a selection to blend by, values far outside 0..1 and NaN: every plane
// value, weight and stored sample is the oracle's, on one thread or several.
TEST(ImageExchange, ReadAndWriteAreTheSampleBySampleComputationOnAnyNumberOfThreads) {
    const int width = 37, height = 23;
    const Rect area{3, 2, 21, 35};
    std::mt19937 generator(8);
    for (int bytes : {1, 2}) {
        for (std::int16_t planeCount : {std::int16_t{1}, std::int16_t{3}, std::int16_t{4}}) {
            for (int padding : {0, 3}) {
                FilterRecord record{};
                record.imageMode = bytes == 2 ? kModeRGB48 : kModeRGB;
                record.inColumnBytes = record.outColumnBytes = planeCount * bytes + padding;
                record.inRowBytes = record.outRowBytes = width * record.inColumnBytes + 2 * padding;
                std::vector<std::uint8_t> in(static_cast<std::size_t>(record.inRowBytes * height));
                std::vector<std::uint8_t> mask(static_cast<std::size_t>((width + padding) * height));
                for (auto& b : in) b = static_cast<std::uint8_t>(generator());
                for (std::size_t i = 1; i < in.size() && bytes == 2; i += 2) in[i] &= 0x7f;  // samples up to 32767
                for (auto& b : mask) b = static_cast<std::uint8_t>(generator());
                record.inData = in.data();
                record.maskData = mask.data();
                record.maskRowBytes = width + padding;
                record.filterRect = Rect{5, 0, 30, 20};
                for (Boolean haveMask : {Boolean{0}, Boolean{1}}) {
                    record.haveMask = haveMask;
                    const std::size_t pixels = static_cast<std::size_t>((area.bottom - area.top) * (area.right - area.left));
                    std::vector<std::vector<float>> expected(static_cast<std::size_t>(planeCount), std::vector<float>(pixels));
                    std::vector<float> expectedWeights(pixels);
                    OracleRead(record, area, bytes, expected, expectedWeights);
                    for (std::int32_t threads : {1, 3}) {
                        std::vector<std::vector<float>> planes(expected.size(), std::vector<float>(pixels, -1.0f));
                        std::vector<float> weights(pixels, -1.0f);
                        std::vector<PlaneView> views;
                        for (auto& plane : planes) views.push_back(PlaneView{plane.data(), area.right - area.left, area.bottom - area.top, area.right - area.left});
                        ReadPlanes(record, area, bytes, views, weights.data(), threads);
                        ASSERT_EQ(planes, expected) << bytes << " " << planeCount << " " << padding << " " << threads;
                        ASSERT_EQ(weights, expectedWeights);

                        for (auto& plane : planes)
                            for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = i % 17 == 0 ? std::nanf("") : plane[i] * 1.3f - 0.1f;
                        std::vector<std::uint8_t> out(in.size(), 0xA5);
                        record.outData = out.data();
                        const std::vector<std::uint8_t> wanted = OracleWrite(record, area, bytes, planes, haveMask != 0 ? weights.data() : nullptr, out);
                        WritePlanes(record, area, bytes, views, weights.data(), false, threads);
                        ASSERT_EQ(out, wanted) << bytes << " " << planeCount << " " << padding << " " << threads;
                    }
                }
            }
        }
    }
}

TEST(ImageExchange, SixteenBitSamplesUseTheHostsRangeOfZeroTo32768) {
    Document doc(2, 1, 1, kModeGray16);
    doc.host.Input().SetSample(0, 0, 0, 32768);
    doc.host.Input().SetSample(0, 1, 0, 16384);
    doc.Deliver();
    std::vector<float> plane(2);
    const std::vector<PlaneView> planes = doc.Views(plane);
    doc.Read(planes, nullptr);
    EXPECT_FLOAT_EQ(plane[0], 1.0f);
    EXPECT_FLOAT_EQ(plane[1], 0.5f);

    plane = {1.2f, -0.3f};
    doc.Write(planes, nullptr);
    doc.Out();
    EXPECT_EQ(doc.host.Output().Sample(0, 0, 0), 32768u);  // clamped to the host's white
    EXPECT_EQ(doc.host.Output().Sample(0, 1, 0), 0u);
}

TEST(ImageExchange, EightBitWriteBackRoundsHalfUpAndClamps) {
    Document doc(4, 1, 1, kModeGrayScale);
    doc.Deliver();
    std::vector<float> plane = {1.2f, -0.01f, 100.5f / 255.0f, 100.49f / 255.0f};
    doc.Write(doc.Views(plane), nullptr);
    EXPECT_EQ(doc.Out(), (std::vector<std::uint8_t>{255, 0, 101, 100}));
}

TEST(ImageExchange, WriteBackBlendsWithTheSourceBySelectionUnlessTheDepthMapIsInForce) {
    Document doc(2, 1, 1, kModeGrayScale);
    doc.In() = {200, 200};
    doc.host.SetSelection({255, 0});
    doc.Deliver();
    std::vector<float> plane(2), weights(2);
    const std::vector<PlaneView> planes = doc.Views(plane);
    doc.Read(planes, weights.data());
    EXPECT_FLOAT_EQ(weights[0], 1.0f);
    EXPECT_FLOAT_EQ(weights[1], 0.0f);

    plane = {0.0f, 0.0f};
    doc.Write(planes, weights.data());
    EXPECT_EQ(doc.Out(), (std::vector<std::uint8_t>{0, 200}));  // selected: the render; unselected: the source

    doc.block.Settings().depth = 1;  // with the direct method: no blending at all
    doc.Write(planes, weights.data());
    EXPECT_EQ(doc.Out()[1], 0);
}

TEST(ImageExchange, HostsThatLeaveColumnBytesUnsetGetPlanesTimesSampleSize) {
    Document doc(2, 2, 4, kModeRGB48);
    testhost::HostQuirks quirks;
    quirks.noColumnBytes = true;
    doc.Deliver(quirks);  // fixes the column bytes
    EXPECT_EQ(doc.Record().inColumnBytes, 8);
    EXPECT_EQ(doc.Record().outColumnBytes, 8);
    doc.Record().inColumnBytes = 10;
    FixColumnBytes(doc.Record());
    EXPECT_EQ(doc.Record().inColumnBytes, 10);
}

TEST(SelectionBounds, CoverTheNonZeroMaskBytes) {
    Document doc(20, 30, 1, kModeGrayScale);
    std::vector<std::uint8_t> mask(600, 0);
    for (int row = 10; row < 20; ++row)
        for (int column = 5; column < 10; ++column) mask[static_cast<std::size_t>(row * 20 + column)] = 1;
    doc.host.SetSelection(mask);
    doc.Deliver();
    ASSERT_EQ(ComputeSelectionBounds(doc.Record()), kNoError);
    EXPECT_EQ(doc.Record().filterRect, (Rect{10, 5, 20, 10}));
}

TEST(SelectionBounds, AnEmptyOrMissingSelectionMeansTheWholeImage) {
    Document doc(7, 5, 1, kModeGrayScale);
    doc.Deliver();
    doc.Record().filterRect = Rect{1, 1, 2, 2};
    ASSERT_EQ(ComputeSelectionBounds(doc.Record()), kNoError);
    EXPECT_EQ(doc.Record().filterRect, (Rect{0, 0, 5, 7}));
    doc.host.SetSelection(std::vector<std::uint8_t>(35, 0));
    doc.Deliver();
    doc.Record().filterRect = Rect{1, 1, 2, 2};
    ASSERT_EQ(ComputeSelectionBounds(doc.Record()), kNoError);
    EXPECT_EQ(doc.Record().filterRect, (Rect{0, 0, 5, 7}));
}

TEST(SelectionBounds, AnImageWithoutPixelsHasNoMaskToScan) {
    for (const auto& [width, height] : {std::pair{0, 5}, std::pair{5, 0}}) {
        Document doc(width, height, 1, kModeGrayScale);
        doc.Deliver();
        doc.Record().haveMask = 1;  // a selection of nothing: no mask delivered
        ASSERT_EQ(ComputeSelectionBounds(doc.Record()), kNoError);
        EXPECT_EQ(doc.Record().filterRect, WholeImageRect(doc.Record()));
    }
}

TEST(ImageExchange, CopyInputToOutputCopiesEveryPixelWhateverEitherBuffersLayout) {
    Document doc(3, 4, 2, kModeGrayScale);
    for (std::size_t i = 0; i < 24; ++i) doc.In()[i] = static_cast<std::uint8_t>(i + 1);
    testhost::HostQuirks padded;
    padded.layout = {1, 3};
    doc.Deliver(padded);
    ASSERT_EQ(CopyInputToOutput(doc.Record()), kNoError);
    EXPECT_EQ(doc.Out(), doc.In());

    // An input laid out unlike the output: the copy goes pixel by pixel.
    Document mixed(3, 4, 2, kModeGrayScale);
    for (std::size_t i = 0; i < 24; ++i) mixed.In()[i] = static_cast<std::uint8_t>(i + 1);
    mixed.Deliver(padded);
    std::vector<std::uint8_t> packed(24);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            for (int p = 0; p < 2; ++p)
                packed[static_cast<std::size_t>((row * 3 + column) * 2 + p)] = static_cast<const std::uint8_t*>(
                    mixed.Record().inData)[row * mixed.Record().inRowBytes + column * mixed.Record().inColumnBytes + p];
    mixed.Record().inData = packed.data();
    mixed.Record().inRowBytes = 6;
    mixed.Record().inColumnBytes = 2;
    ASSERT_EQ(CopyInputToOutput(mixed.Record()), kNoError);
    EXPECT_EQ(mixed.Out(), mixed.In());
}

// A delivery that is not what was asked: refused by the fetch before anything is read, and by the
// readers when the same answer is put into the record after a good delivery (a host changing it between
// calls).
class MisdeliveredImage : public ::testing::TestWithParam<testing::Misdelivery> {};

TEST_P(MisdeliveredImage, IsRefusedByTheFetchAndByEveryReader) {
    Document doc(6, 5, 3, kModeRGB);
    doc.host.SetSelection(std::vector<std::uint8_t>(30, 200));
    testhost::HostQuirks quirks;
    GetParam().misbehave(quirks);
    doc.host.SetQuirks(quirks);
    doc.host.PrepareRecord();
    doc.Record().parameters = doc.block.Get();
    EXPECT_EQ(FetchWholeImage(doc.Record()), kHostInsufficient);
    EXPECT_EQ(CheckWholeImageDelivered(doc.Record()), kHostInsufficient);

    Document good(6, 5, 3, kModeRGB);
    for (std::size_t i = 0; i < good.In().size(); ++i) good.In()[i] = static_cast<std::uint8_t>(i + 1);
    good.host.SetSelection(std::vector<std::uint8_t>(30, 200));
    good.Deliver();
    const FilterRecord delivered = doc.Record();
    FilterRecord& record = good.Record();
    record.inRect = delivered.inRect;
    record.outRect = delivered.outRect;
    record.maskRect = delivered.maskRect;
    record.inHiPlane = delivered.inHiPlane;
    record.outHiPlane = delivered.outHiPlane;
    record.inRowBytes = delivered.inRowBytes;
    record.outRowBytes = delivered.outRowBytes;
    record.maskRowBytes = delivered.maskRowBytes;
    record.inColumnBytes = delivered.inColumnBytes;
    record.outColumnBytes = delivered.outColumnBytes;
    if (delivered.inData == nullptr) record.inData = nullptr;
    if (delivered.outData == nullptr) record.outData = nullptr;
    if (delivered.maskData == nullptr) record.maskData = nullptr;
    const Rect filter = record.filterRect;
    EXPECT_EQ(CopyInputToOutput(record), kHostInsufficient);
    const bool maskAffected = !(delivered.maskRect == WholeImageRect(record)) ||
                              delivered.maskData == nullptr || delivered.maskRowBytes < 6;
    EXPECT_EQ(ComputeSelectionBounds(record), maskAffected ? kHostInsufficient : kNoError);
    if (maskAffected) {
        EXPECT_EQ(record.filterRect, filter);
    }
    EXPECT_EQ(good.Out(), std::vector<std::uint8_t>(good.In().size(), 0)) << "nothing written";
}

INSTANTIATE_TEST_SUITE_P(EachWay, MisdeliveredImage, ::testing::ValuesIn(testing::Misdeliveries()),
                         testing::MisdeliveryName);

}  // namespace
}  // namespace aperlume
