// The real program as a native Wayland client of a private headless sway, with a
// native chat box (GTK 3 or Qt) that has the focus. sway runs `lumivox --phrase 3`
// for F3, which comes from a virtual keyboard (wtype): what arrives in the chat
// box, and what the clipboard holds afterwards.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/e2e/hotkeys/PhraseSession.hpp"
#include "tests/e2e/hotkeys/TextArrives.hpp"
#include "tests/e2e/hotkeys/WaylandChatBoxes.hpp"
#include "tests/support/HeadlessSway.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WaylandPhrases : public ::testing::TestWithParam<ChatBox> {
  protected:
    // The program with phrase 3 set, F3 bound by sway to `lumivox --phrase 3`,
    // then the chat box, which has the focus.
    void start() {
        ASSERT_TRUE(sway_.ok()) << "sway did not start:\n" << sway_.log();
        const fs::path config = sway_.userFolder(".config/Lumivox");
        std::ofstream(config / "快捷键配置.txt", std::ios::binary) << phraseFileWithPhrase3();
        ASSERT_EQ(chown((config / "快捷键配置.txt").c_str(), getuid() == 0 ? 65534 : getuid(),
                        getuid() == 0 ? 65534 : getuid()),
                  0);
        program_ = sway_.reachable(binaryDir() / "lumivox");
        auto env = sway_.environment();
        env["LUMIVOX_SERVER"] = runOnVersionHost();
        lumivox_ = std::make_unique<Subprocess>(sway_.asUser({program_.string()}), env,
                                                work_ / "out.txt", work_ / "err.txt");
        ASSERT_TRUE(waitUntil([&] { return sway_.focusedTitle() == "LumivoxV1.0"; }, 60s))
            << log();
        ASSERT_EQ(sway_.run("swaymsg 'bindsym F3 exec " + program_.string() + " --phrase 3'").status,
                  0);

        const ChatBox& box = GetParam();
        box_ = sway_.userFolder("box");
        const fs::path target = sway_.reachable(
            box.inSource ? sourceDir() / box.program : binaryDir() / box.program);
        target_ = std::make_unique<Subprocess>(sway_.asUser(box.command(target, box_)), env,
                                               work_ / "target-out.txt", work_ / "target-err.txt");
        ASSERT_TRUE(waitUntil([&] { return sway_.focusedTitle() == box.title; }, 60s)) << log();
    }

    std::string boxText() { return wholeFile(box_ / "text.txt"); }
    // Waits for the chat box's text, then checks that nothing more arrives.
    void expectBoxText(const std::string& text) {
        expectTextArrivesOnce([&] { return boxText(); }, text, 500ms, [&] { return log(); });
    }

    std::string log() {
        return "program: " + wholeFile(work_ / "err.txt") +
               "\nchat box: " + wholeFile(work_ / "target-err.txt") + "\nfocus: " +
               sway_.focusedTitle();
    }

    HeadlessSway sway_;
    TempDir work_;
    fs::path program_, box_;
    std::unique_ptr<Subprocess> lumivox_, target_;
};

// The hotkeys were never switched on: the desktop's key works all the same.
TEST_P(WaylandPhrases, BoundKeySendsThePhraseOncePerPressAndGivesTheClipboardBack) {
    ASSERT_NO_FATAL_FAILURE(start());
    expectEachPhraseOnceAndTheClipboardBack(
        {[&](const std::string& command) { return sway_.run(command); },
         [&] { return sway_.run("wtype -k F3").status; }, [&] { return boxText(); },
         [&] { return log(); }});
}

INSTANTIATE_TEST_SUITE_P(ChatBoxes, WaylandPhrases, ::testing::ValuesIn(kChatBoxes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivox::testing
