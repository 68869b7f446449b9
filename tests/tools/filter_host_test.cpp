// Our own host serves a whole-image request with every plane from the documents' own rows; anything
// else is a copy. Either way the plug-in must see the same image and the document must end the same:
// the copying host is the oracle for the sharing one.
#include "tools/host/filter_host.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/image_requests.h"
#include "tests/support/linked_host.h"

namespace aperlume {
namespace {

using testhost::FilterHost;
using testhost::HostQuirks;

constexpr std::int16_t kModes[] = {kModeGrayScale, kModeGray16, kModeRGB, kModeRGB48};

std::int16_t ColourPlanes(std::int16_t mode) { return mode == kModeRGB || mode == kModeRGB48 ? 3 : 1; }

std::vector<std::uint8_t> Gradient(int width, int height) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width * height));
    for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<std::uint8_t>(i * 29 % 256);
    return mask;
}

TEST(FilterHost, ServesTheDocumentsOwnRowsOnlyForAWholePackedRequestOfEveryPlane) {
    struct Case {
        const char* name;
        bool beside;
        void (*quirk)(HostQuirks&);
        bool shared;      // input and output served from the documents
        bool maskShared;  // the selection served as it is
    };
    const Case cases[] = {
        {"plain", false, [](HostQuirks&) {}, true, true},
        {"transparency beside: the colour planes alone", true, [](HostQuirks&) {}, false, true},
        {"padded layout", false, [](HostQuirks& q) { q.layout = {1, 3}; }, false, false},
        {"clipped rectangle", false, [](HostQuirks& q) { q.clipColumns = 1; }, false, false},
        {"a host that copies", false, [](HostQuirks& q) { q.copiesImage = true; }, false, false},
    };
    for (const Case& c : cases) {
        FilterHost host = testing::LinkedHost();
        host.SetImage(testing::RandomImage(7, 5, 4, kModeRGB48, 3u));
        host.SetTransparencyBeside(c.beside);
        host.SetSelection(Gradient(7, 5));
        HostQuirks quirks;
        c.quirk(quirks);
        host.SetQuirks(quirks);
        host.PrepareRecord();
        RequestWholeImage(host.Record());
        ASSERT_EQ(host.Record().advanceState(), 0) << c.name;
        const FilterRecord& record = host.Record();
        EXPECT_EQ(record.inData == host.Input().samples.data(), c.shared) << c.name;
        EXPECT_EQ(record.outData == host.Output().samples.data(), c.shared) << c.name;
        EXPECT_EQ(record.maskData == host.Selection().data(), c.maskShared) << c.name;
        if (c.shared) {
            EXPECT_EQ(record.inRowBytes, 7 * 4 * 2);
            EXPECT_EQ(record.outColumnBytes, 4 * 2);
        }
    }
}

// Every mode and depth, with and without transparency (counted or beside) and a selection: whole runs
// of the plug-in end with the same document whether the host shares its rows or copies them.
TEST(FilterHost, SharedRowsGiveTheDocumentTheCopyingHostGives) {
    enum class Alpha { None, Counted, Beside };
    for (std::int16_t mode : kModes)
        for (Alpha alpha : {Alpha::None, Alpha::Counted, Alpha::Beside})
            for (bool selection : {false, true}) {
                const auto planes = static_cast<std::int16_t>(ColourPlanes(mode) + (alpha == Alpha::None ? 0 : 1));
                const testhost::HostImage image = testing::RandomImage(11, 9, planes, mode, 7u);
                std::vector<std::uint8_t> outputs[2];
                for (bool copies : {false, true}) {
                    FilterHost host = testing::LinkedHost();
                    host.SetImage(image);
                    host.SetTransparencyBeside(alpha == Alpha::Beside);
                    if (selection) host.SetSelection(Gradient(11, 9));
                    HostQuirks quirks;
                    quirks.copiesImage = copies;
                    host.SetQuirks(quirks);
                    ASSERT_EQ(host.Call(kSelectorPrepare), kNoError);
                    auto& settings = *reinterpret_cast<FilterParameters*>(host.Settings());
                    settings.amount = 2;
                    settings.vertices = 5;
                    ASSERT_EQ(host.Run(false), kNoError);
                    outputs[copies ? 1 : 0] = host.Output().samples;
                }
                const auto where = ::testing::Message() << "mode " << mode << " planes " << planes << " beside "
                                                        << (alpha == Alpha::Beside) << " selection " << selection;
                EXPECT_EQ(outputs[0], outputs[1]) << where;
                EXPECT_NE(outputs[0], image.samples) << where;
            }
}

// A stand-in that writes into the output it was served, commits at a second request, writes again
// and fails: the document keeps the first write only, shared or copied.
void WriteCommitWriteFail(std::int16_t selector, void* record, std::intptr_t*, std::int16_t* result) {
    *result = 0;
    if (selector != kSelectorStart) return;
    auto& filterRecord = *static_cast<FilterRecord*>(record);
    RequestWholeImage(filterRecord);
    *result = filterRecord.advanceState();
    if (*result != 0) return;
    static_cast<std::uint8_t*>(filterRecord.outData)[0] = 1;
    *result = filterRecord.advanceState();
    if (*result != 0) return;
    static_cast<std::uint8_t*>(filterRecord.outData)[1] = 2;
    *result = kUserCanceled;
}

TEST(FilterHost, AFailedCallIsUndoneBackToTheLastCommit) {
    for (bool copies : {false, true}) {
        FilterHost host(&WriteCommitWriteFail);
        host.SetImage(testhost::MakeImage(3, 2, 3, kModeRGB));
        HostQuirks quirks;
        quirks.copiesImage = copies;
        host.SetQuirks(quirks);
        EXPECT_EQ(host.Run(false), kUserCanceled);
        std::vector<std::uint8_t> expected(18, 0);
        expected[0] = 1;
        EXPECT_EQ(host.Output().samples, expected) << copies;
    }
}

}  // namespace
}  // namespace aperlume
