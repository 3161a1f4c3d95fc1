#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "platform/SystemOps.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

Text gbkPath(const fs::path& path) {
    return utf8ToGbk(path.string());
}

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FileOps, ReadGivesEmptyDataForMissingEmptyOrFolderAndStopsAtNothing) {
    TempDir dir;
    std::ofstream(dir / "empty");
    std::ofstream(dir / "nul", std::ios::binary).write("\0abc", 4);
    EXPECT_TRUE(readWholeFile(gbkPath(dir / "missing")).empty());
    EXPECT_TRUE(readWholeFile(gbkPath(dir / "empty")).empty());
    EXPECT_TRUE(readWholeFile(gbkPath(dir.path())).empty());
    EXPECT_TRUE(readWholeFile("").empty());
    // The bytes come back whole; a NUL at the start makes the empty text.
    ByteData nul = readWholeFile(gbkPath(dir / "nul"));
    EXPECT_EQ(nul.size(), 4u);
    EXPECT_EQ(valueToText(ByteView(nul)), "");
}

TEST(FileOps, WriteReplacesWholeFilesUnderGbkNamesAndKeepsOtherCharacters) {
    TempDir dir;
    // "自定义配置.txt" as the program names it (GBK), stored under its UTF-8 name.
    const Text name = utf8ToGbk("自定义配置.txt");
    const Text path = joinTexts(gbkPath(dir.path()), "/", name);
    // A setting with an emoji survives the round trip through GBK texts.
    const Text setting = utf8ToGbk("歌曲\xF0\x9F\x8E\xB5.mp3");
    ASSERT_TRUE(writeWholeFile(path, textToBytes(setting), textToBytes("|"), ByteData{}));
    EXPECT_EQ(valueToText(ByteView(readWholeFile(path))), setting + "|");
    EXPECT_EQ(gbkToUtf8(valueToText(ByteView(readWholeFile(path)))), "歌曲\xF0\x9F\x8E\xB5.mp3|");
    EXPECT_TRUE(fs::exists(dir / "自定义配置.txt"));

    // A shorter write leaves nothing of the longer one, and no temporary file.
    ASSERT_TRUE(writeWholeFile(path, textToBytes("x")));
    EXPECT_EQ(contentsOf(dir / "自定义配置.txt"), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    EXPECT_FALSE(writeWholeFile("", textToBytes("x")));
}

TEST(FileOps, FailedWriteLeavesThePreviousFileUntouched) {
    TempDir dir;
    const fs::path settings = dir / "settings.txt";
    std::ofstream(settings) << "old settings";
    // A target that is a folder, and a folder that does not exist, both fail.
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(writeWholeFile(gbkPath(dir / "folder"), textToBytes("new")));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_FALSE(writeWholeFile(gbkPath(dir / "no/such/file"), textToBytes("new")));

    // A write that runs out of space (here a file-size limit of 1 KiB in a child
    // process) fails and the old settings stay.
    testing::CommandResult result = testing::runCommand(
        "ulimit -f 1 && " + (testing::binaryDir() / "tests/unit/base/base_write_probe").string() +
        " '" + settings.string() + "' 4096 2>&1");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(contentsOf(settings), "old settings");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// A new file gets what the umask leaves of 0666; a replaced file keeps its mode.
TEST(FileOps, WriteHonoursTheUmaskAndKeepsTheTargetsMode) {
    struct Case {
        mode_t umask;
        mode_t existing;  // 0: no file yet
        mode_t expected;
    };
    const Case cases[] = {
        {022, 0, 0644}, {077, 0, 0600}, {002, 0, 0664}, {022, 0600, 0600}, {077, 0664, 0664},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const fs::path file = dir / "settings.txt";
        fs::remove(file);
        if (c.existing != 0) {
            std::ofstream(file) << "old";
            ::chmod(file.c_str(), c.existing);
        }
        const mode_t before = ::umask(c.umask);
        const bool written = writeWholeFile(gbkPath(file), textToBytes("new"));
        ::umask(before);
        ASSERT_TRUE(written) << std::oct << c.umask << " " << c.existing;
        EXPECT_EQ(modeOf(file), c.expected) << std::oct << c.umask << " " << c.existing;
        EXPECT_EQ(contentsOf(file), "new");
    }
}

// A read-only file is refused, as writing to it directly would be, and stays as
// it was. Root may write anything, so the write runs as an unprivileged user.
TEST(FileOps, WriteRefusesAReadOnlyTarget) {
    TempDir dir;
    const fs::path file = dir / "settings.txt";
    std::ofstream(file) << "old settings";
    ::chmod(file.c_str(), 0444);
    std::string asUser;
    if (::geteuid() == 0) {
        ::chmod(dir.path().c_str(), 0777);
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    testing::CommandResult result = testing::runCommand(
        asUser + (testing::binaryDir() / "tests/unit/base/base_write_probe").string() + " '" +
        file.string() + "' 3 2>&1");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(contentsOf(file), "old settings");
    EXPECT_EQ(modeOf(file), 0444u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(FileOps, PathExistsMatchesFilesFoldersAndWildcards) {
    TempDir dir;
    std::ofstream(dir / "a.exe");
    std::ofstream(dir / "[x].txt");
    fs::create_directory(dir / "sub");
    const Text base = gbkPath(dir.path());
    struct Case {
        const char* path;
        bool expected;
    };
    for (const Case& c :
         {Case{"/a.exe", true}, Case{"/sub", true}, Case{"/missing", false}, Case{"/*.exe", true},
          Case{"/a.?xe", true}, Case{"/*.dll", false}, Case{"/[x].txt", true}, Case{"/[x]*", true},
          Case{"/x*", false}, Case{"/*", true}, Case{"/nofolder/*", false}}) {
        EXPECT_EQ(pathExists(joinTexts(base, c.path)), c.expected) << c.path;
    }
    EXPECT_FALSE(pathExists(""));
}

TEST(FileOps, MakeDirectoryMakesOneLevelOnly) {
    TempDir dir;
    const Text base = gbkPath(dir.path());
    EXPECT_TRUE(makeDirectory(joinTexts(base, "/Lumivox")));
    EXPECT_FALSE(makeDirectory(joinTexts(base, "/Lumivox")));  // exists already
    EXPECT_FALSE(makeDirectory(joinTexts(base, "/a/b")));      // parent missing
    EXPECT_FALSE(fs::exists(dir / "a"));
    std::ofstream(dir / "file");
    EXPECT_FALSE(makeDirectory(joinTexts(base, "/file")));
}

TEST(FileOps, WorkingDirectoryHasNoTrailingSeparator) {
    const fs::path saved = fs::current_path();
    TempDir dir;
    fs::current_path(dir.path());
    EXPECT_EQ(workingDirectory(), gbkPath(fs::canonical(dir.path())));
    fs::current_path("/");
    EXPECT_EQ(workingDirectory(), "/");
    fs::current_path(saved);
}

TEST(FileOps, LaunchProgramWaitsOrSettlesAndSplitsQuotedArguments) {
    TempDir dir;
    const std::string out = (dir / "out file").string();
    // The quoted script is one argument; the child writes only after 200 ms.
    ASSERT_TRUE(launchProgram(
        utf8ToGbk("/bin/sh -c \"sleep 0.2; printf '%s|%s' \\\"$0\\\" x > '" + out + "'\" \"a b\""),
        true, 1));
    EXPECT_EQ(contentsOf(out), "a b|x");

    // Without waiting, the call gives the child about a second to settle and
    // returns while it runs on: this child ends only when the test lets it (a
    // line through a pipe), so a call that waited for it is reported as a hang.
    const std::string pipe = (dir / "go").string();
    const std::string done = (dir / "done").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    auto start = std::chrono::steady_clock::now();
    auto launching = std::async(std::launch::async, [&] {
        return launchProgram("/bin/sh -c \"read x < '" + pipe + "'; echo ended > '" + done + "'\"",
                             false);
    });
    const bool returned = launching.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "launchProgram waited for a child it should leave running";
    EXPECT_FALSE(fs::exists(done)) << "the child ended early";
    int writer = -1;
    ASSERT_TRUE(lumivox::testing::waitUntil(
        [&] { return (writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; },
        std::chrono::seconds(30)))
        << "the child never read its pipe";
    ASSERT_EQ(write(writer, "go\n", 3), 3);
    close(writer);
    EXPECT_TRUE(launching.get());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_TRUE(lumivox::testing::waitUntil([&] { return fs::exists(done); }, std::chrono::seconds(30)));

    EXPECT_FALSE(launchProgram("/no/such/program", true, 1));
    EXPECT_FALSE(launchProgram("", true, 1));
}

}  // namespace
}  // namespace lumivox
