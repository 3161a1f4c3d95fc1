// The panel page in a real browser: Debian's Chromium, headless, driven by
// puppeteer-core (page/panel_test.mjs) at a phone's viewport, against the real
// program. The script checks what the page shows; this test confirms each of
// its steps where the host would notice: the sink, the chat box.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/e2e/remote/RemoteProgram.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(RemotePageE2E, APhoneTapsEffectsStopAndAPhraseAndIsToldWhenTheProgramIsGone) {
    const fs::path page = sourceDir() / "tests/e2e/remote/page";
    LUMIVOX_NEEDS_INSTALLED(
        std::string(fs::exists(page / "node_modules/puppeteer-core") ? "" : " puppeteer-core (scripts/test)") +
        (fs::exists("/usr/bin/chromium") ? "" : " chromium"));
    RemoteProgram program(
        "[remote]\nenabled = true\nlisten = 127.0.0.1:PORT\ntoken = " + kRemoteToken + "\n");
    ASSERT_TRUE(program.ok()) << program.log();
    ASSERT_TRUE(waitUntil(
        [&] { return apiCall(program.port(), "GET", "/api/state", kRemoteToken).status == 200; },
        30s));
    TempDir steps, work;
    const fs::path shots =
        fs::path(std::getenv("LUMIVOX_PANEL_SHOTS") != nullptr ? std::getenv("LUMIVOX_PANEL_SHOTS")
                                                               : work.path().string());
    Subprocess browser({"node", (page / "panel_test.mjs").string()},
                       {{"PANEL_URL", "http://127.0.0.1:" + std::to_string(program.port()) +
                                          "/#token=" + kRemoteToken},
                        {"STEP_DIR", steps.path().string()},
                        {"SHOT_DIR", shots.string()}},
                       work / "out.txt", work / "err.txt");
    auto log = [&] {
        return "browser: " + wholeFile(work / "out.txt") + wholeFile(work / "err.txt") + "\n" +
               program.log();
    };
    // Waits for the script's step, judges it, and answers.
    auto confirm = [&](const std::string& name, const std::function<bool()>& judge) {
        ASSERT_TRUE(waitUntil([&] { return fs::exists(steps / name) || !browser.running(); }, 90s))
            << name << "\n"
            << log();
        ASSERT_TRUE(fs::exists(steps / name)) << "the browser ended before " << name << "\n"
                                              << log();
        const bool ok = judge();
        std::ofstream(steps / (name + (ok ? ".ok" : ".fail")));
        EXPECT_TRUE(ok) << name << "\n" << log();
    };

    std::size_t mark = program.recorder().sampleCount();
    confirm("effect-tapped", [&] { return program.heardAfter(mark, 5s); });
    confirm("stopped", [&] { return program.quietAfter(program.recorder().sampleCount(), 5s); });
    confirm("phrase-tapped",
            [&] { return waitUntil([&] { return program.chatMessages() == "短语 3\n"; }, 10s); });
    confirm("program-ended", [&] {
        program.kill();
        return !program.running();
    });
    EXPECT_EQ(browser.wait(60s), 0) << log();
    std::printf("%s", wholeFile(work / "out.txt").c_str());
    for (const char* shot : {"phone.png", "phone-playing.png", "tablet.png"}) {
        EXPECT_GT(fs::file_size(shots / shot), 10000u) << shot;
    }
}

}  // namespace
}  // namespace lumivox::testing
