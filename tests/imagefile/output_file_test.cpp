// Safe output: the target changes in one step or not at all, the temporary file is new, hidden beside
// the target and gone afterwards, and outputs that must not be written are refused before any work.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/imagefile/image_test_support.h"
#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

class OutputFile : public testing::TemporaryFolderTest {
protected:
    static void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.insert(entry.path().filename().string());
        return names;
    }
    static ToolStatus Put(std::FILE* file, const std::string& text) {
        return std::fputs(text.c_str(), file) >= 0 ? ToolStatus::Success() : ToolStatus::Failure("fputs");
    }
};

TEST_F(OutputFile, SuccessReplacesTheTargetInOneStepThroughAFreshHiddenFile) {
    const fs::path target = folder_ / "out.png";
    Write(target, "old");
    // Names someone else left or planted where a predictable writer would look: never touched.
    for (int i = 0; i < 3; ++i) Write(folder_ / (".out.png.aperlume-" + std::to_string(i)), "theirs");
    const std::set<std::string> before = Names();
    std::set<std::string> temporaries;
    for (const char* content : {"new", "newer"}) {
        ToolStatus status = WriteFileAtomically(target.string(), [&](std::FILE* file) {
            EXPECT_EQ(ReadText(target), content == std::string("new") ? "old" : "new");  // untouched while writing
            std::set<std::string> added;
            for (const std::string& name : Names())
                if (before.count(name) == 0) added.insert(name);
            EXPECT_EQ(added.size(), 1u);
            if (!added.empty()) temporaries.insert(*added.begin());
            return Put(file, content);
        });
        ASSERT_TRUE(status.ok()) << status.message;
        EXPECT_EQ(ReadText(target), content);
        EXPECT_EQ(Names(), before);
    }
    ASSERT_EQ(temporaries.size(), 2u) << "each write gets a name of its own";
    for (const std::string& name : temporaries) EXPECT_EQ(name.rfind(".out.png.aperlume-", 0), 0u) << name;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadText(folder_ / (".out.png.aperlume-" + std::to_string(i))), "theirs");
}

TEST_F(OutputFile, FailureLeavesTheFolderAsItWas) {
    for (bool existing : {true, false}) {
        const fs::path target = folder_ / (existing ? "old.png" : "new.png");
        if (existing) Write(target, "old");
        const std::set<std::string> before = Names();
        ToolStatus status = WriteFileAtomically(target.string(), [&](std::FILE* file) {
            (void)Put(file, "half");
            return ToolStatus::Failure("disk full");
        });
        EXPECT_EQ(status.message, "disk full");
        EXPECT_EQ(Names(), before);
        if (existing) {
            EXPECT_EQ(ReadText(target), "old");
        }
    }
}

TEST_F(OutputFile, OutputsThatMustNotBeWrittenAreRefusedBeforeWork) {
    Write(folder_ / "locked.png", "keep");
    fs::permissions(folder_ / "locked.png", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directories(folder_ / "dir.png");
    const struct {
        std::string path, message;
    } cases[] = {{Path("no/x.png"), "cannot write " + Path("no/x.png") + ": the folder " + Path("no") + " does not exist"},
                 {Path("dir.png"), "cannot write " + Path("dir.png") + ": it is a folder"},
                 {Path("locked.png"), "cannot write " + Path("locked.png") + ": the file is read-only"},
                 {"", "the output file name is empty"}};
    for (const auto& c : cases) {
        EXPECT_EQ(CheckOutputPath(c.path).message, c.message);
        bool called = false;
        ToolStatus status = WriteFileAtomically(c.path, [&](std::FILE*) {
            called = true;
            return ToolStatus::Success();
        });
        EXPECT_EQ(status.message, c.message);
        EXPECT_FALSE(called);
    }
    EXPECT_EQ(ReadText(folder_ / "locked.png"), "keep");
    EXPECT_TRUE(CheckOutputPath(Path("fresh.png")).ok());
    fs::permissions(folder_ / "locked.png", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(CheckOutputPath(Path("locked.png")).ok());
}

TEST_F(OutputFile, SameFileSeesThroughSpellings) {
    Write(folder_ / "a.png", "a");
    fs::create_directories(folder_ / "sub");
    EXPECT_TRUE(SameFile(Path("a.png"), (folder_ / "sub" / ".." / "a.png").string()));
    EXPECT_TRUE(SameFile(Path("gone.png"), (folder_ / "." / "gone.png").string()));  // neither exists
    EXPECT_FALSE(SameFile(Path("a.png"), Path("b.png")));
    EXPECT_FALSE(SameFile(Path("a.png"), ""));
}

}  // namespace
}  // namespace aperlume::tool
