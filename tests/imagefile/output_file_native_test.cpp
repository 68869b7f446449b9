// Safe output on POSIX systems: an interrupt while writing removes the temporary file and still ends
// the process as the signal would; a replaced file keeps its mode and a new one gets the umask's; links
// are written through, and a link planted at a temporary name is never followed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/imagefile/image_test_support.h"
#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

class OutputFileNative : public testing::TemporaryFolderTest {
protected:
    static ToolStatus Write(const std::string& path, const std::string& text) {
        return WriteFileAtomically(path, [&](std::FILE* file) {
            std::fputs(text.c_str(), file);
            return ToolStatus::Success();
        });
    }
    static mode_t ModeOf(const fs::path& path) {
        struct stat status {};
        stat(path.c_str(), &status);
        return status.st_mode & 07777;
    }
};

TEST_F(OutputFileNative, AnInterruptWhileWritingRemovesTheTemporaryFile) {
    std::ofstream(Path("out.png")) << "old";
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        EXPECT_EXIT(
            {
                (void)WriteFileAtomically(Path("out.png"), [&](std::FILE* file) {
                    std::fputs("half", file);
                    std::fflush(file);
                    std::raise(signal);
                    return ToolStatus::Success();
                });
                std::_Exit(0);  // not reached: the signal ends the process
            },
            ::testing::KilledBySignal(signal), "");
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) ++entries;
        EXPECT_EQ(entries, 1u);
        EXPECT_EQ(ReadText(Path("out.png")), "old");
    }
}

TEST_F(OutputFileNative, AReplacedFileKeepsItsModeAndANewOneGetsTheUmasks) {
    for (mode_t mode : {0600, 0640, 0664, 0604, 0755}) {
        std::ofstream(Path("kept.png")) << "old";
        chmod(Path("kept.png").c_str(), mode);
        ASSERT_TRUE(Write(Path("kept.png"), "new").ok());
        EXPECT_EQ(ReadText(Path("kept.png")), "new");
        EXPECT_EQ(ModeOf(Path("kept.png")), mode) << std::oct << mode;
    }
    for (mode_t mask : {022, 077, 002}) {
        const mode_t previous = umask(mask);
        fs::remove(Path("new.png"));
        const bool written = Write(Path("new.png"), "new").ok();
        umask(previous);
        ASSERT_TRUE(written);
        EXPECT_EQ(ModeOf(Path("new.png")), 0666 & ~mask) << std::oct << mask;
    }
}

TEST_F(OutputFileNative, LinksAreWrittenThroughAndPlantedLinksNeverFollowed) {
    std::ofstream(Path("real.png")) << "old";
    fs::create_symlink(Path("real.png"), Path("link.png"));
    ASSERT_TRUE(Write(Path("link.png"), "new").ok());
    EXPECT_TRUE(fs::is_symlink(Path("link.png")));
    EXPECT_EQ(ReadText(Path("real.png")), "new");
    // Links at the names a predictable writer would use, aimed at a file the writer must not create.
    for (int i = 0; i < 3; ++i)
        fs::create_symlink(Path("victim.png"), Path(".out.png.aperlume-" + std::to_string(i)));
    ASSERT_TRUE(Write(Path("out.png"), "mine").ok());
    EXPECT_FALSE(fs::exists(Path("victim.png")));
    EXPECT_FALSE(fs::is_symlink(Path("out.png")));
    EXPECT_EQ(ReadText(Path("out.png")), "mine");
}

}  // namespace
}  // namespace aperlume::tool
