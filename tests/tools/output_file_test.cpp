// Atomic output: a failed write leaves neither a partial file nor a damaged old one, and leaves no
// temporary file behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/tools/tool_test_support.h"
#include "tools/aperlume/output_file.h"

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;

class OutputFile : public testing::TemporaryFolderTest {
protected:
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Write(const fs::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    std::size_t EntriesInFolder() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) ++count;
        return count;
    }
};

TEST_F(OutputFile, SuccessReplacesTheTargetInOneStep) {
    const fs::path target = folder_ / "out.png";
    Write(target, "old");
    std::string temporaryName;
    ToolStatus status = WriteFileAtomically(target.string(), [&](const std::string& temporary) {
        temporaryName = temporary;
        EXPECT_EQ(Read(target), "old");  // the target is untouched while the new content is written
        Write(temporary, "new content");
        return ToolStatus::Success();
    });
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(Read(target), "new content");
    EXPECT_EQ(fs::path(temporaryName).parent_path(), folder_);  // same folder: the rename cannot cross disks
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(OutputFile, FailureKeepsTheOldFileAndRemovesTheTemporary) {
    const fs::path target = folder_ / "out.png";
    Write(target, "old");
    ToolStatus status = WriteFileAtomically(target.string(), [&](const std::string& temporary) {
        Write(temporary, "half");
        return ToolStatus::Failure("disk full");
    });
    EXPECT_EQ(status.message, "disk full");
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(OutputFile, FailureCreatesNoFile) {
    const fs::path target = folder_ / "new.png";
    ToolStatus status = WriteFileAtomically(target.string(), [&](const std::string& temporary) {
        Write(temporary, "half");
        return ToolStatus::Failure("broken");
    });
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(EntriesInFolder(), 0u);
}

TEST_F(OutputFile, TemporaryNamesAvoidExistingFiles) {
    const fs::path target = folder_ / "out.png";
    Write(folder_ / ".out.png.aperlume-0", "someone else's");
    std::string used;
    ToolStatus status = WriteFileAtomically(target.string(), [&](const std::string& temporary) {
        used = temporary;
        Write(temporary, "mine");
        return ToolStatus::Success();
    });
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_NE(fs::path(used).filename(), ".out.png.aperlume-0");
    EXPECT_EQ(Read(folder_ / ".out.png.aperlume-0"), "someone else's");
    EXPECT_EQ(Read(target), "mine");
}

TEST_F(OutputFile, OutputPathsAreCheckedBeforeWork) {
    EXPECT_TRUE(CheckOutputPath((folder_ / "x.png").string()).ok());
    const std::string missing = CheckOutputPath((folder_ / "no" / "x.png").string()).message;
    EXPECT_NE(missing.find("does not exist"), std::string::npos) << missing;
    fs::create_directories(folder_ / "dir.png");
    EXPECT_NE(CheckOutputPath((folder_ / "dir.png").string()).message.find("is a folder"), std::string::npos);
    EXPECT_FALSE(CheckOutputPath("").ok());
    bool called = false;
    ToolStatus status = WriteFileAtomically((folder_ / "no" / "x.png").string(), [&](const std::string&) {
        called = true;
        return ToolStatus::Success();
    });
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace aperlume::tool
