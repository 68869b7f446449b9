// Damaged JPEG files get the same answer in every build: this runs natively and under Wine over one
// set of files (jpeg_damage.h), and compares each file's answer, as a letter, with the same string.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/jpeg_damage.h"
#include "tools/imagefile/image_file.h"

namespace aperlume::tool {
namespace {

using namespace testing;  // NOLINT: the byte builders
using JpegDamage = TemporaryFolderTest;

// '.' for a file read; for one refused, a letter for the damage its message names, 'x' for other damage.
char Answer(const ToolStatus& status) {
    static const std::pair<const char*, char> kDamages[] = {
        {"(it is cut short)", 'C'},           {" is cut short)", 'c'},
        {" has a bad Huffman code)", 'h'},    {" goes on after its last block)", 'g'},
        {" lacks a restart marker", 'r'},     {" has its restart markers out of order)", 'o'},
        {" breaks the order of progressive scans)", 'p'}, {"(a marker stands out of place)", 'm'}};
    if (status.ok()) return '.';
    for (const auto& [words, letter] : kDamages)
        if (status.message.find(words) != std::string::npos) return letter;
    return status.message.find(" is damaged (") != std::string::npos ? 'x' : '?';
}

TEST_F(JpegDamage, EveryDamagedFileGetsTheSameAnswerInEveryBuild) {
    // Per sample: a group per scan (cut at its end by 1 and up to 30 bytes, bytes taken from its
    // middle, four changed bytes, a bad code where its data is long enough, its restart markers), and
    // the group of the first scan left out and the file cut short.
    const std::string expected[] = {
        "cc.h.h.h xCcccccc ",
        "ccr..rrhro xCCccccc ",
        "ccrrrrhhro ccrh.r.rro cccc..ghro cccrcc.hro cccrhcchro ccc..r.hro cco.r.crro ccrrrcchro cccrc.chro "
        "ccc.r..hro pCccccCc ",
        "ccc....h ccc..g.h ccchh.gh ccch.ghh ccc.... cch..h.h pxxCccxc ",
    };
    ToolImage image;
    const std::string path = Path("damaged.jpg");
    for (std::size_t sample = 0; sample < std::size(kJpegSamples); ++sample) {
        const Bytes good = JpegSample(kJpegSamples[sample]);
        WriteBytes(path, good);
        ASSERT_TRUE(ReadImage(path, image).ok()) << kJpegSamples[sample];
        std::string answers;
        for (const std::vector<Bytes>& group : DamagedJpegs(good)) {
            for (const Bytes& file : group) {
                WriteBytes(path, file);
                answers += Answer(ReadImage(path, image));
            }
            answers += ' ';
        }
        EXPECT_EQ(answers, expected[sample]) << kJpegSamples[sample];
    }
}

TEST_F(JpegDamage, AFileOfMoreScansThanTheLimitIsRefused) {
    ToolImage image;
    const std::string path = Path("bomb.jpg");
    WriteBytes(path, JpegScanBomb(100));
    EXPECT_TRUE(ReadImage(path, image).ok());
    WriteBytes(path, JpegScanBomb(101));
    EXPECT_EQ(ReadImage(path, image).message,
              path + " has more than 100 scans; the tool reads JPEG files of at most 100 (photographs have about 10)");
}

}  // namespace
}  // namespace aperlume::tool
