// libjpeg as the oracle of the JPEG entropy check: libjpeg reading a file alone (its corrupt-data
// warnings errors) finds no damage the check misses; and alone it holds to the scan limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/jpeg_damage.h"
#include "tools/imagefile/file_open.h"
#include "tools/imagefile/image_codec.h"
#include "tools/imagefile/image_file.h"

namespace aperlume::tool {
namespace {

using namespace testing;  // NOLINT: the byte builders
using JpegDamageNative = TemporaryFolderTest;

TEST_F(JpegDamageNative, TheCheckRefusesEveryFileLibjpegFindsDamaged) {
    const std::string path = Path("damaged.jpg");
    // The samples, and a file of enough blocks for the check to walk several symbols a step.
    std::vector<std::pair<std::string, Bytes>> sources;
    for (const char* name : kJpegSamples) sources.emplace_back(name, JpegSample(name));
    ASSERT_TRUE(WriteImage(path, PatternImage(512, 512, 3, 8), {}, {}).ok());
    const std::string large = ReadText(path);
    sources.emplace_back("512x512", Bytes(large.begin(), large.end()));
    for (const auto& [name, good] : sources) {
        CheckedImageFile checked, again;
        WriteBytes(path, good);
        ASSERT_TRUE(CheckImageFile(path, {}, checked).ok()) << name;
        // The damaged set, and one bit flipped at every 11th byte after the first scan header (at
        // 150 places in the large file).
        std::vector<Bytes> files;
        for (const std::vector<Bytes>& group : DamagedJpegs(good)) files.insert(files.end(), group.begin(), group.end());
        const Bytes scanHeader = {0xff, 0xda};
        const auto first = std::search(good.begin(), good.end(), scanHeader.begin(), scanHeader.end()) - good.begin();
        for (auto at = static_cast<std::size_t>(first) + 4; at + 2 < good.size(); at += std::max<std::size_t>(11, good.size() / 150)) {
            files.push_back(good);
            files.back()[at] ^= static_cast<std::uint8_t>(1 << at % 8);
        }
        int refused = 0;
        for (const Bytes& file : files) {
            WriteBytes(path, file);
            ToolImage image;
            if (DecodeImage(OpenFile(path, "rb").get(), path, checked, SampleRange::Host, image).ok()) continue;
            ++refused;
            EXPECT_FALSE(CheckImageFile(path, {}, again).ok()) << name << ", damaged file " << &file - files.data();
        }
        EXPECT_GT(refused, 10) << name;
    }
}

TEST_F(JpegDamageNative, LibjpegAloneRefusesMoreScansThanTheLimit) {
    const std::string path = Path("bomb.jpg");
    CheckedImageFile checked;
    WriteBytes(path, JpegScanBomb(100));
    ASSERT_TRUE(CheckImageFile(path, {}, checked).ok());
    WriteBytes(path, JpegScanBomb(101));
    ToolImage image;
    EXPECT_EQ(DecodeImage(OpenFile(path, "rb").get(), path, checked, SampleRange::Host, image).message,
              path + " has more than 100 scans; the tool reads JPEG files of at most 100 (photographs have about 10)");
}

}  // namespace
}  // namespace aperlume::tool
