// The real program under a private X server with a second X11 application that
// has the keyboard focus: what arrives in that application's text box when F1 to
// F12 are pressed with the hotkeys on and off.
#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "base/Encoding.hpp"
#include "platform/linux/qt/X11Keyboard.hpp"
#include "tests/e2e/hotkeys/TextArrives.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kSeparator = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";
const std::string kPhrase3 = "第一行\r\n第二行😀";  // with a character GBK lacks

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class HotkeyEndToEnd : public ::testing::Test {
  protected:
    // Starts the program with phrases p1..p12 (phrase 3 kPhrase3) in its settings
    // file, and the target application, which then has the focus.
    void start() {
        ASSERT_NO_FATAL_FAILURE(startProgram());
        target_ = std::make_unique<Subprocess>(
            std::vector<std::string>{
                (binaryDir() / "tests/e2e/hotkeys/hotkeys_phrase_target").string(),
                targetDir_.path().string()},
            xvfb_.environment(), work_ / "target-out.txt", work_ / "target-err.txt");
        ASSERT_TRUE(waitUntil([&] { return xvfb_.geometry("PhraseTarget").viewable; }, 60s))
            << log();
        // The hotkey page, where the switches are.
        click(58, 94);
    }
    void startProgram() {
        ASSERT_TRUE(xvfb_.ok()) << "no X server";
        fs::create_directories(config_ / "Lumivox");
        std::string file;
        for (int n = 1; n <= 12; ++n) {
            file += (n == 3 ? utf8ToGbk(kPhrase3) : "p" + std::to_string(n)) + kSeparator;
        }
        std::ofstream(config_ / "Lumivox" / "快捷键配置.txt", std::ios::binary) << file;
        auto env = xvfb_.environment();
        env["XDG_CONFIG_HOME"] = config_.path().string();
        program_ = std::make_unique<Subprocess>(
            std::vector<std::string>{(binaryDir() / "lumivox").string()}, env, work_ / "out.txt",
            work_ / "err.txt");
        // Mapped, not merely named: a window is named before it is mapped, and
        // focus or a click given to it before then is lost.
        ASSERT_TRUE(waitUntil([&] { return xvfb_.geometry("LumivoxV1.0").viewable; }, 60s))
            << log();
    }

    std::string x(const std::string& command) {
        return runCommand("DISPLAY=" + xvfb_.display() + " " + command + " 2>/dev/null").output;
    }
    std::string windowId(const std::string& name) {
        const std::string ids = x("xdotool search --name '" + name + "'");
        return ids.substr(0, ids.find('\n'));
    }
    // Clicks at a point of the main window's client area.
    void click(int left, int top) {
        const std::string geometry =
            x("xdotool getwindowgeometry --shell " + windowId("LumivoxV1.0"));
        std::smatch m;
        ASSERT_TRUE(std::regex_search(geometry, m, std::regex(R"(X=(\d+)\nY=(\d+))"))) << geometry;
        x("xdotool mousemove " + std::to_string(std::stoi(m[1]) + left) + " " +
          std::to_string(std::stoi(m[2]) + top) + " click 1");
    }
    // A click on a switch, and OK on the message it shows.
    void clickSwitch(int left) {
        click(left, 560);
        ASSERT_TRUE(waitUntil([&] { return !windowId("温馨提示：").empty(); }, 30s)) << log();
        x("xdotool windowfocus --sync " + windowId("温馨提示：") + " key Return");
        ASSERT_TRUE(waitUntil([&] { return windowId("温馨提示：").empty(); }, 30s)) << log();
    }
    void switchOn() { clickSwitch(416); }
    void switchOff() { clickSwitch(520); }
    // Keys pressed while the target has the focus.
    void pressInTarget(const std::string& keys, int delayMs = 12) {
        x("xdotool windowfocus --sync " + windowId("PhraseTarget") + " key --delay " +
          std::to_string(delayMs) + " " + keys);
    }
    std::string targetText() { return readFile(targetDir_ / "text.txt"); }
    std::string targetKeys() { return readFile(targetDir_ / "keys.log"); }
    // Waits for the target's text, then checks that nothing more arrives.
    void expectTargetText(const std::string& text) {
        expectTextArrivesOnce([&] { return targetText(); }, text, 300ms, [&] { return log(); });
    }
    // The keys that reach the target while pressing these there, ended by a key
    // that is never a hotkey: once it has arrived, so has every key before it.
    std::string keysReachingTarget(const std::string& keys) {
        const std::size_t from = targetKeys().size();
        pressInTarget(keys + " Escape");
        EXPECT_TRUE(waitUntil(
            [&] { return targetKeys().size() > from && targetKeys().ends_with("Esc\n"); }, 20s))
            << log();
        const std::string all = targetKeys();
        return all.substr(from, all.size() - from - 4);
    }

    std::string log() {
        return "program: " + readFile(work_ / "err.txt") +
               "\ntarget: " + readFile(work_ / "target-err.txt");
    }

    PrivateDisplay xvfb_;
    TempDir config_, work_, targetDir_;
    std::unique_ptr<Subprocess> program_, target_;
};

TEST_F(HotkeyEndToEnd, PhrasesArriveWhileOnAndKeysPassWhileOff) {
    ASSERT_NO_FATAL_FAILURE(start());
    // Off: F3 is the target's own key.
    EXPECT_EQ(keysReachingTarget("F3"), "F3\n");
    EXPECT_EQ(targetText(), "");

    // On twice: still exactly one phrase per press.
    switchOn();
    switchOn();
    // Another client holds the clipboard (the host copied something elsewhere):
    // the phrase takes it over.
    x("sh -c 'printf other | xclip -selection clipboard' >/dev/null 2>&1");
    ASSERT_EQ(x("xclip -o -selection clipboard"), "other");
    pressInTarget("F3");
    const std::string phrase3 = "\n第一行\n第二行😀\n";
    expectTargetText(phrase3);
    // Shift+F3 is no hotkey: it reaches the target as it is.
    EXPECT_EQ(keysReachingTarget("shift+F3"), "Shift+Shift\nShift+F3\n");
    EXPECT_EQ(targetText(), phrase3);

    // Phrase 5 edited and not saved: F5 sends the new text.
    click(344, 160 + 4 * 32 + 12);
    x("xdotool key ctrl+a type --delay 10 'new five'");
    pressInTarget("F5");
    expectTargetText(phrase3 + "\nnew five\n");

    // Off: every grab is gone, the first registrations of the double switch-on too.
    switchOff();
    const std::string before = targetText();
    EXPECT_EQ(keysReachingTarget("F3 F5 F12"), "F3\nF5\nF12\n");
    EXPECT_EQ(targetText(), before);

    // On again: the keys work again.
    switchOn();
    pressInTarget("F12");
    expectTargetText(before + "\np12\n");
    EXPECT_TRUE(program_->running());
}

TEST_F(HotkeyEndToEnd, KeyHeldByAnotherClientIsRefusedWhileTheOthersWork) {
    ASSERT_TRUE(xvfb_.ok());
    // Another client holds F7 before the program starts.
    xcb_connection_t* other = xcb_connect(xvfb_.display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    const xcb_keycode_t f7 = platform::x11::KeyboardMap(other).keycodeFor(XK_F7);
    ASSERT_NE(f7, 0);
    ASSERT_EQ(
        xcb_request_check(other, xcb_grab_key_checked(other, 0, platform::x11::rootWindow(other),
                                                      XCB_MOD_MASK_ANY, f7, XCB_GRAB_MODE_ASYNC,
                                                      XCB_GRAB_MODE_ASYNC)),
        nullptr);
    xcb_flush(other);

    ASSERT_NO_FATAL_FAILURE(start());
    switchOn();
    pressInTarget("F7 F8");
    expectTargetText("\np8\n");
    // F7 went to the client that holds it, not to the program.
    bool otherGotF7 = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(other)) {
                if ((event->response_type & 0x7F) == XCB_KEY_PRESS &&
                    reinterpret_cast<xcb_key_press_event_t*>(event)->detail == f7) {
                    otherGotF7 = true;
                }
                std::free(event);
            }
            return otherGotF7;
        },
        20s));
    pressInTarget("F1");
    expectTargetText("\np8\n\np1\n");
    // With Caps Lock and Num Lock on, alone and together, the keys are hotkeys still.
    // Taps a quarter second apart, as a host makes them: a hotkey pressed while a
    // phrase is being typed takes the keyboard until the program reads the press,
    // and the keys typed meanwhile come to the program instead of the chat box.
    pressInTarget("Caps_Lock F2 Num_Lock F2 Caps_Lock F2 Num_Lock", 250);
    expectTargetText("\np8\n\np1\n\np2\n\np2\n\np2\n");
    xcb_disconnect(other);
}

// Chat boxes whose Enter sends the message: a GTK 3 text view (alone and behind
// an input method) and the two browsers' text areas and editable pages (Chromium,
// Firefox), which ask the clipboard owner for the text after Ctrl+V and go on
// handling keys meanwhile, each in its own way; and "qt", our own Qt text box
// (hotkeys_phrase_target as a chat box), which stands in for a Qt client. Each is
// a target of its own, started on the display while the program runs with the
// hotkeys on.
class ChatBoxes : public HotkeyEndToEnd {
  protected:
    struct Message {
        long long ns;
        std::string text;  // line feeds as \n
    };
    static long long monotonicNs() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return now.tv_sec * 1000000000LL + now.tv_nsec;
    }
    std::vector<Message> messages(const fs::path& folder) {
        std::vector<Message> all;
        std::istringstream lines(readFile(folder / "messages.log"));
        for (std::string line; std::getline(lines, line);) {
            const std::size_t space = line.find(' ');
            all.push_back({std::stoll(line.substr(0, space)), line.substr(space + 1)});
        }
        return all;
    }
    // Starts a chat box; it has the keyboard focus once this returns.
    void startChatBox(const std::string& kind, const fs::path& folder) {
        auto env = xvfb_.environment();
        env["HOME"] = folder.string();
        const std::string script = (sourceDir() / "tests/e2e/hotkeys/chat_boxes.py").string();
        std::vector<std::string> command;
        fs::path ready;  // made by the chat page once it has loaded
        if (kind == "qt") {
            title_ = "PhraseTarget";
            command = {(binaryDir() / "tests/e2e/hotkeys/hotkeys_phrase_target").string(),
                       folder.string(), "chat"};
        } else if (kind.starts_with("gtk")) {
            title_ = "GtkChatBox";
            if (kind == "gtk-ibus") {
                // An input method between the keys and the box: ibus with a
                // keyboard engine, through GTK's ibus module.
                inputMethod_ = std::make_unique<Subprocess>(
                    std::vector<std::string>{"ibus-daemon", "--xim", "--replace",
                                             "--panel=disable"},
                    env, folder / "ibus-out.txt", folder / "ibus-err.txt");
                std::string prefix = "HOME=" + folder.string() + " ";
                ASSERT_TRUE(waitUntil(
                    [&] {
                        return runCommand(prefix + "DISPLAY=" + xvfb_.display() +
                                          " ibus engine xkb:us::eng >/dev/null 2>&1")
                                   .status == 0;
                    },
                    30s))
                    << readFile(folder / "ibus-err.txt");
                env["GTK_IM_MODULE"] = "ibus";
            }
            command = {"/usr/bin/python3", script, "gtk", folder.string()};
        } else {
            // The page's server writes the messages into this chat box's folder.
            server_ = std::make_unique<Subprocess>(
                std::vector<std::string>{"/usr/bin/python3", script, "serve", folder.string()}, env,
                folder / "server-out.txt", folder / "server-err.txt");
            ASSERT_TRUE(waitUntil([&] { return fs::exists(folder / "port"); }, 20s));
            const std::string url = "http://127.0.0.1:" + readFile(folder / "port") +
                                    "/chat.html#" + kind.substr(kind.find('-') + 1);
            title_ = "ChatPage";
            ready = folder / "ready";
            const fs::path profile = folder / "profile";
            fs::create_directories(profile);
            if (kind.starts_with("chromium")) {
                command = {"chromium",
                           "--no-sandbox",
                           "--disable-gpu",
                           "--no-first-run",
                           "--disable-background-networking",
                           "--disable-component-update",
                           "--disable-sync",
                           "--user-data-dir=" + profile.string(),
                           "--window-position=0,0",
                           "--window-size=800,600",
                           url};
            } else {
                command = {"firefox-esr", "--no-remote",    "--new-instance",
                           "--profile",   profile.string(), url};
            }
        }
        chatBox_ =
            std::make_unique<Subprocess>(command, env, folder / "out.txt", folder / "err.txt");
        ASSERT_TRUE(waitUntil([&] { return !visibleWindow().empty(); }, 90s))
            << readFile(folder / "err.txt");
        ASSERT_TRUE(ready.empty() || waitUntil([&] { return fs::exists(ready); }, 60s));
        std::this_thread::sleep_for(500ms);
        x("xdotool windowfocus --sync " + visibleWindow());
        std::this_thread::sleep_for(500ms);
    }
    // F3 pressed `presses` times, each once the last message has come; the time
    // from each press to its message.
    std::vector<double> pressF3(const fs::path& folder, int presses, const std::string& phrase) {
        std::vector<double> ms;
        for (int i = 0; i < presses; ++i) {
            const std::size_t before = messages(folder).size();
            const long long pressed = monotonicNs();
            x("xdotool key F3");
            const bool arrived = waitUntil([&] { return messages(folder).size() > before; }, 5s);
            EXPECT_TRUE(arrived) << "press " << i + 1 << ": no message at its own press\n" << log();
            if (!arrived) {
                break;
            }
            const Message got = messages(folder)[before];
            EXPECT_EQ(got.text, phrase) << "press " << i + 1;
            ms.push_back(static_cast<double>(got.ns - pressed) / 1e6);
        }
        return ms;
    }

    std::string visibleWindow() {
        const std::string ids = x("xdotool search --onlyvisible --name '" + title_ + "'");
        return ids.substr(0, ids.find('\n'));
    }

    std::string title_;
    std::unique_ptr<Subprocess> server_, chatBox_, inputMethod_;
};

TEST_F(ChatBoxes, EachPressSendsItsPhraseOnceWholeAndTheHostsClipboardComesBack) {
    ASSERT_NO_FATAL_FAILURE(startProgram());
    click(58, 94);
    switchOn();
    // Chinese, an emoji and a line break; the boxes send it as one message.
    const std::string phrase = "第一行\\n第二行😀";
    const char* settle = std::getenv("LUMIVOX_PASTE_SETTLE_MS");
    const char* only = std::getenv("LUMIVOX_CHAT_BOXES");  // a subset, for measuring
    std::string kinds = only ? only
                             : "gtk qt chromium-textarea chromium-editable "
                               "firefox-textarea firefox-editable gtk-ibus";
    std::istringstream list(kinds);
    for (std::string kind; list >> kind;) {
        SCOPED_TRACE(kind);
        TempDir folder;
        ASSERT_NO_FATAL_FAILURE(startChatBox(kind, folder.path()));
        // What the host copied last, held by another client.
        x("sh -c 'printf \"host copied this\" | xclip -selection clipboard' >/dev/null 2>&1");
        std::vector<double> ms = pressF3(folder.path(), 20, phrase);
        // Back once nothing has read the phrase for a while; reading it here
        // earlier would put that off, so it is read once.
        std::this_thread::sleep_for(2500ms);
        EXPECT_EQ(messages(folder.path()).size(), 20u) << "a message came twice or late";
        EXPECT_EQ(x("xclip -o -selection clipboard"), "host copied this");
        if (!ms.empty()) {
            std::sort(ms.begin(), ms.end());
            std::printf("F3 to message sent, %s, settle %s ms: median %.1f ms, max %.1f ms (%zu)\n",
                        kind.c_str(), settle ? settle : "default", ms[ms.size() / 2], ms.back(),
                        ms.size());
        }
        chatBox_.reset();
        server_.reset();
        inputMethod_.reset();
        ASSERT_TRUE(waitUntil([&] { return visibleWindow().empty(); }, 20s));
    }
    EXPECT_TRUE(program_->running());
}

// A held F3 repeats; it sends one phrase all the same. The server repeats no
// injected key by itself, so the repeats are pressed as a keyboard's come: more
// presses of the key that is down, then one release.
TEST_F(ChatBoxes, AHeldKeySendsOnePhrase) {
    ASSERT_NO_FATAL_FAILURE(startProgram());
    click(58, 94);
    switchOn();
    TempDir folder;
    ASSERT_NO_FATAL_FAILURE(startChatBox("qt", folder.path()));
    std::string held = "xdotool keydown F3";
    for (int repeat = 0; repeat < 15; ++repeat) {
        held += " sleep 0.04 keydown F3";
    }
    x(held + " keyup F3");
    EXPECT_TRUE(waitUntil([&] { return !messages(folder.path()).empty(); }, 5s)) << log();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(messages(folder.path()).size(), 1u);
    // Pressed again after the release: the next phrase.
    x("xdotool key F3");
    EXPECT_TRUE(waitUntil([&] { return messages(folder.path()).size() == 2; }, 5s)) << log();
}

}  // namespace
}  // namespace lumivox::testing
