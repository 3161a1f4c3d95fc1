// The real program as a native Wayland client of a private headless KWin, which
// has no virtual-keyboard protocol: the phrase's keys go through the desktop
// portal's RemoteDesktop keyboard. A native chat box (GTK 3 or Qt) has the focus;
// `lumivox --phrase 3` (what a KDE shortcut runs), or F3 registered with KDE's
// shortcut service and pressed through a portal session of the test's own, sends
// phrase 3. What arrives in the chat box, and what the clipboard holds afterwards.
// Without KDE's packages the tests skip, or fail on CI.
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "tests/e2e/hotkeys/KdeHotkeysOn.hpp"
#include "tests/e2e/hotkeys/PhraseSession.hpp"
#include "tests/e2e/hotkeys/TextArrives.hpp"
#include "tests/e2e/hotkeys/WaylandChatBoxes.hpp"
#include "tests/support/HeadlessKwin.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class KdePortalPhrases : public ::testing::TestWithParam<ChatBox> {
  protected:
    void SetUp() override {
        LUMIVOX_NEEDS_INSTALLED(HeadlessKwin::missingPackages());
        kwin_ = std::make_unique<HeadlessKwin>(portal());
    }
    virtual HeadlessKwin::Portal portal() const { return HeadlessKwin::Portal::Present; }

    // The program with phrase 3 set, then the chat box, which takes the focus.
    void start() {
        ASSERT_NO_FATAL_FAILURE(startProgram());
        ASSERT_NO_FATAL_FAILURE(startChatBox());
    }
    void startProgram() {
        ASSERT_TRUE(kwin_->ok()) << "KWin did not start:\n" << kwin_->log();
        const fs::path config = kwin_->folder(".config/Lumivox");
        std::ofstream(config / "快捷键配置.txt", std::ios::binary) << phraseFileWithPhrase3();
        auto env = kwin_->environment();
        env["LUMIVOX_SERVER"] = runOnVersionHost();
        env.insert(programEnvironment_.begin(), programEnvironment_.end());
        lumivox_ = std::make_unique<Subprocess>(std::vector<std::string>{program().string()}, env,
                                                work_ / "out.txt", work_ / "err.txt");
        // Up once it answers an action from outside.
        CommandResult stop;
        ASSERT_TRUE(waitUntil(
            [&] {
                stop = kwin_->run(program().string() + " --stop 2>&1");
                return stop.status == 0;
            },
            60s))
            << stop.output << log();
    }
    void startChatBox() {
        auto env = kwin_->environment();
        box_ = kwin_->folder("box");
        const ChatBox& chat = GetParam();
        const fs::path target = (chat.inSource ? sourceDir() : binaryDir()) / chat.program;
        target_ = std::make_unique<Subprocess>(chat.command(target, box_), env,
                                               work_ / "target-out.txt", work_ / "target-err.txt");
        ASSERT_TRUE(waitUntil([&] { return kwin_->focusedTitle() == GetParam().title; }, 60s))
            << "focus: " << kwin_->focusedTitle() << "\n"
            << log();
    }

    int phrase(int n) {
        return kwin_->run(program().string() + " --phrase " + std::to_string(n) + " 2>&1").status;
    }
    fs::path program() const { return binaryDir() / "lumivox"; }

    std::string boxText() { return wholeFile(box_ / "text.txt"); }
    void expectBoxText(const std::string& text) {
        expectTextArrivesOnce([&] { return boxText(); }, text, 500ms, [&] { return log(); });
    }

    std::string log() {
        return "program: " + wholeFile(work_ / "err.txt") +
               "\nchat box: " + wholeFile(work_ / "target-err.txt") +
               "\nkeys the chat box saw: " + wholeFile(box_ / "keys.log") + "\n" + kwin_->log();
    }

    // A service on the bus ends (a desktop update, a crash): sessions made with it
    // are gone without a word, and the bus starts it again at the next call.
    void killService(const std::string& name) {
        std::string pid =
            kwin_
                ->run("dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus / "
                      "org.freedesktop.DBus.GetConnectionUnixProcessID string:" +
                      name + " | awk '{print $2}'")
                .output;
        pid.erase(pid.find_last_not_of("\n ") + 1);
        ASSERT_FALSE(pid.empty()) << name;
        ASSERT_EQ(kwin_
                      ->run("kill " + pid + " && while kill -0 " + pid +
                            " 2>/dev/null; do sleep 0.05; done")
                      .status,
                  0);
    }

    std::map<std::string, std::string> programEnvironment_;
    std::unique_ptr<HeadlessKwin> kwin_;
    TempDir work_;
    fs::path box_;
    std::unique_ptr<Subprocess> lumivox_, target_;
};

// The same portal session serves the next phrase.
TEST_P(KdePortalPhrases, PhraseArrivesOncePerPressAndTheClipboardComesBack) {
    ASSERT_NO_FATAL_FAILURE(start());
    expectEachPhraseOnceAndTheClipboardBack(
        {[&](const std::string& command) { return kwin_->run(command); },
         [&] { return phrase(3); }, [&] { return boxText(); }, [&] { return log(); }});
}

TEST_P(KdePortalPhrases, PortalRestartedBetweenPhrasesAndTheNextPhraseStillArrives) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(phrase(3), 0);
    expectBoxText(kSent3);

    ASSERT_NO_FATAL_FAILURE(killService("org.freedesktop.portal.Desktop"));

    ASSERT_EQ(phrase(3), 0);
    expectBoxText(kSent3 + kSent3);
}

// The whole way on KDE: the hotkeys switched on in the program (F1 to F12 go to
// KDE's shortcut service), F3 pressed on the desktop, the phrase in the chat box.
class KdeShortcutPress : public KdePortalPhrases {};

TEST_P(KdeShortcutPress, F3RegisteredWithTheDesktopSendsThePhrase) {
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_TRUE(switchHotkeysOn(*kwin_)) << log();
    ASSERT_NO_FATAL_FAILURE(startChatBox());
    ASSERT_EQ(kwin_->input("key 61"), 0);  // F3
    expectBoxText(kSent3);
}

INSTANTIATE_TEST_SUITE_P(ChatBoxes, KdeShortcutPress, ::testing::Values(kChatBoxes[1]),
                         [](const auto& info) { return std::string(info.param.name); });

// The same through the desktop portal's GlobalShortcuts, the way on Wayland
// desktops other than KDE (asked for by name here: on KDE the program would go to
// the shortcut service itself). KWin's portal takes the keys when the session is
// made; the program's session ends with the portal and is made again.
class PortalShortcutPress : public KdePortalPhrases {};

TEST_P(PortalShortcutPress, F3BoundThroughThePortalSendsThePhraseUntilSwitchedOff) {
    programEnvironment_["LUMIVOX_DESKTOP_SHORTCUTS"] = "portal";
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_TRUE(switchHotkeysOn(*kwin_)) << log();
    EXPECT_NE(wholeFile(work_ / "err.txt").find("desktop portal's GlobalShortcuts"),
              std::string::npos)
        << log();
    ASSERT_NO_FATAL_FAILURE(startChatBox());
    ASSERT_EQ(kwin_->input("key 61"), 0);  // F3
    expectBoxText(kSent3);

    // The portal restarts, KDE's part of it too (its part keeps a session whose
    // portal ended, under the same name).
    ASSERT_NO_FATAL_FAILURE(killService("org.freedesktop.impl.portal.desktop.kde"));
    ASSERT_NO_FATAL_FAILURE(killService("org.freedesktop.portal.Desktop"));
    // The program asks again at once, which starts a new portal.
    ASSERT_TRUE(waitUntil(
        [&] {
            return kwin_
                       ->run("dbus-send --session --print-reply --dest=org.freedesktop.DBus / "
                             "org.freedesktop.DBus.NameHasOwner "
                             "string:org.freedesktop.portal.Desktop")
                       .output.find("true") != std::string::npos;
        },
        30s))
        << log();
    ASSERT_EQ(kwin_->input("wait 1 key 61"), 0);
    expectBoxText(kSent3 + kSent3);

    // Switched off: F3 sends nothing (it reaches the chat box as a plain key).
    ASSERT_TRUE(focus(*kwin_, "LumivoxV1.0")) << log();
    ASSERT_TRUE(switchHotkeysOff(*kwin_)) << log();
    ASSERT_TRUE(focus(*kwin_, GetParam().title)) << log();
    ASSERT_EQ(kwin_->input("key 61 wait 1.5"), 0);
    EXPECT_EQ(boxText(), kSent3 + kSent3) << log();
    EXPECT_TRUE(wholeFile(box_ / "keys.log").ends_with("\nF3\n")) << log();
}

INSTANTIATE_TEST_SUITE_P(ChatBoxes, PortalShortcutPress, ::testing::Values(kChatBoxes[1]),
                         [](const auto& info) { return std::string(info.param.name); });

// No portal on the bus: nothing to type with. The host is told what is missing
// in a message box, and nothing arrives in the chat box.
class KdeWithoutPortal : public KdePortalPhrases {
    HeadlessKwin::Portal portal() const override { return HeadlessKwin::Portal::Absent; }
};

TEST_P(KdeWithoutPortal, HostIsToldOnceAndNothingIsTyped) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(phrase(3), 0);
    ASSERT_TRUE(waitUntil([&] { return kwin_->focusedTitle() == "温馨提示："; }, 20s)) << log();
    EXPECT_EQ(boxText(), "");

    // The host closes the message; the next phrases are not sent either, and the
    // host is not told again.
    kwin_->evaluate("workspace.activeClient.closeWindow(), 1");
    ASSERT_TRUE(waitUntil([&] { return kwin_->focusedTitle() == GetParam().title; }, 10s))
        << kwin_->focusedTitle() << log();
    ASSERT_EQ(phrase(3), 0);
    ASSERT_EQ(phrase(3), 0);
    EXPECT_FALSE(waitUntil([&] { return kwin_->focusedTitle() == "温馨提示："; }, 3s)) << log();
    EXPECT_EQ(boxText(), "");
}

INSTANTIATE_TEST_SUITE_P(ChatBoxes, KdeWithoutPortal, ::testing::Values(kChatBoxes[1]),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(ChatBoxes, KdePortalPhrases, ::testing::ValuesIn(kChatBoxes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivox::testing
