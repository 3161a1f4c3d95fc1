#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/DataFolder.hpp"
#include "platform/Files.hpp"
#include "platform/TargetFile.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::platform {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

size_t entries(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(FilesWindows, ReplaceWritesWholeFilesUnderUnicodeNamesAndLeavesNoTemporary) {
    testing::TempDir dir;
    const fs::path target = dir.path() / u8"自定义配置.txt";
    ASSERT_TRUE(replaceFile(utf8(target), {bytes("first "), bytes("version")}));
    EXPECT_EQ(contents(target), "first version");
    ASSERT_TRUE(replaceFile(utf8(target), {bytes("x")}));
    EXPECT_EQ(contents(target), "x");
    const ByteData read = readFile(utf8(target));
    EXPECT_EQ(std::string(read.begin(), read.end()), "x");
    EXPECT_EQ(entries(dir.path()), 1u);

    // A folder is never replaced, a missing folder fails; nothing is left behind.
    fs::create_directory(dir.path() / "folder");
    EXPECT_FALSE(replaceFile(utf8(dir.path() / "folder"), {bytes("x")}));
    EXPECT_FALSE(replaceFile(utf8(dir.path() / "missing" / "f.txt"), {bytes("x")}));
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
    EXPECT_EQ(entries(dir.path()), 2u);
    EXPECT_TRUE(readFile(utf8(dir.path() / "folder")).empty());
}

TEST(FilesWindows, WildcardsMatchTheLastComponent) {
    testing::TempDir dir;
    std::ofstream(dir.path() / u8"歌曲1.mp3") << "x";
    const std::string base = utf8(dir.path()) + "\\";
    EXPECT_TRUE(pathMatchesAnything(base + "*.mp3"));
    EXPECT_TRUE(pathMatchesAnything(base + "歌曲?.mp3"));
    EXPECT_TRUE(pathMatchesAnything(base + "歌曲1.mp3"));
    EXPECT_FALSE(pathMatchesAnything(base + "*.wav"));
    EXPECT_FALSE(pathMatchesAnything(base + "missing\\*"));
}

TEST(FilesWindows, DownloadTargetIsReservedWholeAndNeverReplacesAFile) {
    testing::TempDir dir;
    const fs::path path = dir.path() / u8"下载.bin";
    {
        auto file = TargetFile::createNew(utf8(path), 100000);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->writeAt(99990, "0123456789", 10));
        EXPECT_FALSE(file->writeAt(99995, "0123456789", 10));
        // The whole length at once (NTFS allocates its clusters; Wine's files
        // on Linux may stay sparse, so the allocation is not asked for here).
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        FILE_STANDARD_INFO info{};
        ASSERT_TRUE(GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info));
        CloseHandle(handle);
        EXPECT_EQ(info.EndOfFile.QuadPart, 100000);
    }
    const std::string written = contents(path);
    ASSERT_EQ(written.size(), 100000u);
    EXPECT_EQ(written.substr(99990), "0123456789");
    EXPECT_TRUE(canOpenForReading(utf8(path)));

    // An existing file stays as it was; a length of 0 leaves no file.
    EXPECT_EQ(TargetFile::createNew(utf8(path), 10), nullptr);
    EXPECT_EQ(contents(path).size(), 100000u);
    EXPECT_EQ(TargetFile::createNew(utf8(dir.path() / "empty.bin"), 0), nullptr);
    EXPECT_FALSE(pathExists(utf8(dir.path() / "empty.bin")));
    EXPECT_FALSE(canOpenForReading(utf8(dir.path())));
    EXPECT_TRUE(pathExists(utf8(dir.path())));
}

// D: is the place of earlier installs only where it is a disk. Wine's prefix has
// no D:, so there the data goes to the roaming application data; the case with
// a D: runs in a run of its own that links one into the prefix
// (platform_windows_drive_d_tests). Each case skips where its drive setting is
// not the machine's.
bool haveDiskD() {
    const UINT drive = GetDriveTypeW(L"D:\\");
    return drive == DRIVE_FIXED || drive == DRIVE_REMOVABLE;
}

TEST(FilesWindows, DataFolderIsTheRoamingFolderWithoutADiskD) {
    if (haveDiskD()) {
        GTEST_SKIP() << "this machine has a disk D:";
    }
    wchar_t roaming[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"APPDATA", roaming, MAX_PATH), 0u);
    EXPECT_EQ(fs::path(std::u8string(reinterpret_cast<const char8_t*>(dataFolder().c_str()))),
              fs::path(roaming) / "Lumivox");
}

TEST(FilesWindows, DataFolderIsOnDriveDWhereItIsADisk) {
    if (!haveDiskD()) {
        GTEST_SKIP() << "this machine has no disk D:";
    }
    EXPECT_EQ(dataFolder(), "D:\\Lumivox");
}

}  // namespace
}  // namespace lumivox::platform
