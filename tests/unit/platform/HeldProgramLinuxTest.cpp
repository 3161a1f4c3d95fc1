// The held program's final rename on file systems that refuse RENAME_NOREPLACE
// (FUSE without rename2 answers EINVAL), and a rename whose later step fails.
// This executable answers for the file system: its renameat2 and fchmod go to
// the kernel unless a case makes them refuse, as such a file system would.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/Files.hpp"
#include "platform/HeldProgram.hpp"
#include "tests/support/TestSupport.hpp"

namespace {
bool gRefuseNoReplace = false;  // the file system has no rename2
bool gRefuseChmod = false;      // the step after the rename fails
}  // namespace

extern "C" int renameat2(int oldDir, const char* oldPath, int newDir, const char* newPath,
                         unsigned int flags) {
    if (gRefuseNoReplace && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(syscall(SYS_renameat2, oldDir, oldPath, newDir, newPath, flags));
}

extern "C" int fchmod(int fd, mode_t mode) {
    if (gRefuseChmod) {
        errno = EPERM;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fchmod, fd, mode));
}

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;

struct RenameCase {
    const char* name;
    bool noRename2;
    bool chmodFails;
    bool nameTaken;
    bool moved;  // the build is under its final name, executable
};

void PrintTo(const RenameCase& c, std::ostream* out) {
    *out << c.name;
}

class FinalRename : public ::testing::TestWithParam<RenameCase> {
  protected:
    void TearDown() override { gRefuseNoReplace = gRefuseChmod = false; }
    TempDir dir_;
};

TEST_P(FinalRename, TakesTheNameWholeOrLeavesNothingUnderIt) {
    const RenameCase& c = GetParam();
    const fs::path download = dir_ / "build.download", target = dir_ / "build";
    std::ofstream(download, std::ios::binary) << "the new build";
    fs::permissions(download, fs::perms::owner_read | fs::perms::owner_write);
    if (c.nameTaken) {
        std::ofstream(target, std::ios::binary) << "the host's own file";
    }
    auto held = platform::HeldProgram::open(download.string());
    ASSERT_TRUE(held);
    gRefuseNoReplace = c.noRename2;
    gRefuseChmod = c.chmodFails;

    EXPECT_EQ(held->moveTo(target.string()), c.moved);

    gRefuseNoReplace = gRefuseChmod = false;
    if (c.moved) {
        EXPECT_FALSE(fs::exists(download));
        EXPECT_EQ(wholeFile(target), "the new build");
        EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_exec, fs::perms::none);
    } else if (c.nameTaken) {
        EXPECT_EQ(wholeFile(target), "the host's own file");
        EXPECT_EQ(wholeFile(download), "the new build");
    } else {
        // Nothing under the final name, so no later name is tried over it.
        EXPECT_FALSE(fs::exists(target));
    }
}

INSTANTIATE_TEST_SUITE_P(
    HeldProgram, FinalRename,
    ::testing::Values(RenameCase{"Rename2", false, false, false, true},
                      RenameCase{"NoRename2LinksThenUnlinks", true, false, false, true},
                      RenameCase{"NoRename2KeepsAnExistingName", true, false, true, false},
                      RenameCase{"Rename2KeepsAnExistingName", false, false, true, false},
                      RenameCase{"LaterStepFailsLeavesNothingUnderTheName", false, true, false,
                                 false},
                      RenameCase{"LaterStepFailsAfterALink", true, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Two copies updating at once: the download one of them holds is not removed by
// the other as a leftover of a killed download; once let go (the copy ended or
// was killed), it is.
TEST(HeldFile, AHeldDownloadIsLeftAloneUntilLetGo) {
    TempDir dir;
    const fs::path download = dir / "build.download";
    std::ofstream(download, std::ios::binary) << "half a build";
    auto held = platform::HeldFile::hold(download.string());
    ASSERT_TRUE(held);
    EXPECT_FALSE(platform::removeFileUnlessHeld(download.string()));
    EXPECT_EQ(wholeFile(download), "half a build");
    held.reset();
    EXPECT_TRUE(platform::removeFileUnlessHeld(download.string()));
    EXPECT_FALSE(fs::exists(download));
    EXPECT_FALSE(platform::removeFileUnlessHeld(download.string()));  // none left
    EXPECT_FALSE(platform::HeldFile::hold(download.string()));
}

}  // namespace
}  // namespace lumivox::testing
