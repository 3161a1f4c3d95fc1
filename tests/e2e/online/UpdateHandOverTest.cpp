// After an update the old copy hands its action channel and its hotkeys to the
// new build and ends: the new build, as it starts, finds nobody answering on the
// channel and F1 free, and sees the old copy end once the host has read the
// message. The real program under a private X server; the new build is a
// stand-in that writes down what it found.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "online/BuildInfo.hpp"
#include "online/UpdateSignature.hpp"
#include "tests/e2e/online/OnlineProgram.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(UpdateHandOver, OldCopyLetsGoOfChannelAndHotkeysAndEnds) {
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    TestWebSite site;
    const std::string build = fileBytes(LUMIVOX_HANDOVER_BUILD);
    const fs::path built = program.installFolder() / "signed-build";
    std::ofstream(built, std::ios::binary) << build;
    const auto digest = online::fileSha256(built.string());
    fs::remove(built);
    const std::string version(online::builtInVersion());
    const auto signature = online::signUpdate(fileBytes(LUMIVOX_DEVELOPMENT_KEY_FILE), *digest,
                                              "LumNew", version, "999.0");
    ASSERT_TRUE(signature);
    SiteReply file;
    file.body = build;
    site.serve("/download/new.bin", file);
    // The version file comes late: the host switches the hotkeys on meanwhile.
    SiteReply line;
    line.body = version + "---" + site.url("/download/new.bin") + "---LumNew---" + *signature +
                "---999.0";
    line.stall = 6s;
    site.serve("/111.txt", line);

    program.start(site.host());
    ASSERT_TRUE(program.waitForWindow("LumivoxV1.0", 60)) << program.log();
    program.click("LumivoxV1.0", 58, 94);    // the hotkey page
    program.click("LumivoxV1.0", 416, 560);  // 开启热键
    ASSERT_TRUE(program.waitForWindow("温馨提示：", 30)) << program.log();
    program.pressEnterIn("温馨提示：");

    ASSERT_TRUE(program.waitForWindow("提示", 60)) << program.log();
    program.pressEnterIn("提示");
    const fs::path record = program.installFolder() / "handover";
    ASSERT_TRUE(waitUntil([&] { return fs::exists(record) && fs::file_size(record) > 0; }, 30s))
        << program.log();
    EXPECT_EQ(fileBytes(record), "channel: free\nF1: free\nold copy: ended\n") << program.log();
    EXPECT_EQ(program.process().wait(10s), 0) << program.log();
}

}  // namespace
}  // namespace lumivox::testing
