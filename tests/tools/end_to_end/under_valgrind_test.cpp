// The tool under valgrind's memory checker (native build without sanitizers): every method, 8 and 16
// bits, with and without alpha, on a small image, with no invalid access, no uninitialised value that
// decides anything, and no leak.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/imagefile/image_test_support.h"
#include "tests/tools/end_to_end/tool_run.h"
#include "tools/imagefile/image_file.h"

namespace aperlume::tool {
namespace {

using Method = std::tuple<const char*, bool>;  // --method, and whether a depth map comes with it

class ToolUnderValgrind : public testing::TemporaryFolderTest,
                          public ::testing::WithParamInterface<std::tuple<Method, std::int32_t, bool>> {};

TEST_P(ToolUnderValgrind, RunsCleanly) {
    const auto [method, bitDepth, alpha] = GetParam();
    const auto [name, depthMap] = method;
    ASSERT_TRUE(WriteImage(Path("in.png"), testing::PatternImage(48, 32, alpha ? 4 : 3, bitDepth), {}, {}).ok());
    std::vector<std::string> arguments = {"--method", name, "--amount", "3", "--vertices", "6"};
    if (depthMap) {
        ASSERT_TRUE(WriteImage(Path("depth.png"), testing::PatternImage(48, 32, 1, 8), {}, {}).ok());
        arguments.insert(arguments.end(), {"--depth-map", "--focus", "100", "--selection", Path("depth.png")});
    }
    arguments.insert(arguments.end(), {Path("in.png"), Path("out.png")});
    const testing::ToolRun run = testing::RunProgram(
        std::string(APERLUME_VALGRIND) + " -q --error-exitcode=1 --leak-check=full", APERLUME_TOOL_PATH, arguments,
        folder_);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ToolImage output;
    ASSERT_TRUE(ReadImage(Path("out.png"), output).ok());
    EXPECT_EQ(output.BytesPerSample() * 8, bitDepth);
    EXPECT_EQ(output.channels, alpha ? 4 : 3);
}

std::string CaseName(const ::testing::TestParamInfo<ToolUnderValgrind::ParamType>& info) {
    const auto [method, bitDepth, alpha] = info.param;
    return std::string(std::get<0>(method)) + (std::get<1>(method) ? "DepthMap" : "") + std::to_string(bitDepth) +
           (alpha ? "BitAlpha" : "Bit");
}

INSTANTIATE_TEST_SUITE_P(EveryMethodAndFormat, ToolUnderValgrind,
                         ::testing::Combine(::testing::Values(Method{"normal", false}, Method{"normal", true},
                                                              Method{"mc", false}, Method{"fft", false}),
                                            ::testing::Values(8, 16), ::testing::Bool()),
                         CaseName);

}  // namespace
}  // namespace aperlume::tool
