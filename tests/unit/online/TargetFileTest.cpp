#include "platform/TargetFile.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/TestSupport.hpp"

namespace lumivox::platform {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(TargetFile, WritesLandAtTheirPlaceWithinTheReservedLength) {
    lumivox::testing::TempDir dir;
    const fs::path path = dir / "t.bin";
    {
        auto file = TargetFile::createNew(path.string(), 10000);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->size(), 10000u);
        EXPECT_TRUE(file->writeAt(9990, "0123456789", 10));
        // Nothing past the reserved length, not even a part of it.
        EXPECT_FALSE(file->writeAt(9995, "0123456789", 10));
        EXPECT_FALSE(file->writeAt(10001, "", 0));
        // The whole length is reserved on disk at once, not left sparse.
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_GE(info.st_blocks * 512, 10000);
    }
    const std::string written = contents(path);
    ASSERT_EQ(written.size(), 10000u);
    EXPECT_EQ(written.substr(0, 9990), std::string(9990, '\0'));
    EXPECT_EQ(written.substr(9990), "0123456789");
}

TEST(TargetFile, NeverTouchesAnExistingFileAndLeavesNothingOnFailure) {
    lumivox::testing::TempDir dir;
    const fs::path existing = dir / "old.exe";
    std::ofstream(existing) << "old";
    EXPECT_EQ(TargetFile::createNew(existing.string(), 100), nullptr);
    EXPECT_EQ(contents(existing), "old");
    EXPECT_TRUE(canOpenForReading(existing.string()));
    EXPECT_TRUE(pathExists(existing.string()));

    // No length, and a length no disk can hold: both fail at creation
    // (rather than as SIGBUS in a later write) and leave no file behind.
    for (std::uint64_t length : {std::uint64_t{0}, std::uint64_t{1} << 52}) {
        const fs::path path = dir / ("n" + std::to_string(length));
        EXPECT_EQ(TargetFile::createNew(path.string(), length), nullptr) << length;
        EXPECT_FALSE(pathExists(path.string())) << length;
    }
    EXPECT_EQ(TargetFile::createNew((dir / "missing/sub.bin").string(), 10), nullptr);
    EXPECT_FALSE(canOpenForReading(dir.path().string()));  // a folder is not a file
    EXPECT_TRUE(pathExists(dir.path().string()));
    EXPECT_FALSE(canOpenForReading((dir / "none").string()));
}

}  // namespace
}  // namespace lumivox::platform
