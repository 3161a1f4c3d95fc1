// The hotkey phrases of Lumivox.exe under Wine on a private X screen
// (scripts/wine-with-display), its version file from nginx
// (scripts/wine-with-nginx), driven as the host drives them with the mouse and
// keyboard of the X display (xdotool): the hotkey page, "开启热键" and the OK
// of its message, a click into a chat box stand-in of ours (under Wine a hotkey
// fires only while a Wine window has the focus), then F3. Arguments: the
// program and the chat box.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "platform/DataFolder.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/online/WineNginx.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string programPath;
std::string chatBoxPath;

// Lumivox.exe started with phrases p1 ... p12 (phrase 3 given), the hotkeys
// switched on through its page, and a chat box stand-in that the host clicked into.
class WineProgramHotkeys : public ::testing::Test {
  protected:
    void start(const std::string& phrase3, bool enterSends) {
        ASSERT_NE(std::getenv("LUMIVOX_DISPLAY"), nullptr)
            << "run through scripts/wine-with-display";
        ASSERT_FALSE(programPath.empty() || chatBoxPath.empty());
        std::string url;
        fs::path www;
        ASSERT_TRUE(online::wineNginx(url, www)) << "run through scripts/wine-with-nginx";
        // A version that is not this one's: the program runs on after its check.
        std::ofstream(fs::path(windowsPath(www.string())) / "111.txt", std::ios::binary)
            << "2---http://127.0.0.1:1/none.exe---Lumivox";
        SetEnvironmentVariableW(L"LUMIVOX_SERVER",
                                platform::widen(url.substr(url.find("//") + 2)).c_str());
        const fs::path data = fs::path(platform::widen(platform::dataFolder()));
        fs::create_directories(data);
        phrases_ = data / L"快捷键配置.txt";
        std::string file;
        for (int n = 1; n <= 12; ++n) {
            file += (n == 3 ? utf8ToGbk(phrase3) : "p" + std::to_string(n));
            file += kSettingsSeparator;
        }
        std::ofstream(phrases_, std::ios::binary) << file;

        xdotool(L"mousemove 0 0");
        program_ = std::make_unique<Started>(programPath, elsewhere_.path());
        window_ = program_->waitForWindow(L"LumivoxV1.0", 60s);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(mappedOnDisplay(L"LumivoxV1.0"));
        Sleep(2500);  // past the version check

        // 特定按钮1 "快捷键", then 保存配置按钮1 "开启热键" and OK on its message.
        ASSERT_TRUE(hostClick(window_, 8 + 50, 72 + 22));
        Sleep(300);
        ASSERT_TRUE(hostClick(window_, 8 + 360 + 48, 128 + 416 + 16));
        HWND told = program_->waitForWindow(L"温馨提示：", 20s);
        ASSERT_NE(told, nullptr) << "switching on told the host nothing";
        ASSERT_TRUE(mappedOnDisplay(L"温馨提示："));
        ASSERT_TRUE(hostClickOn(FindWindowExW(told, nullptr, L"Button", nullptr)));
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(told); }, 10s)) << "the message stayed";

        // The chat box, left of the program's window, and the host's click into it.
        received_ = elsewhere_ / "chat.txt";
        chat_ = std::make_unique<Started>(chatBoxPath, elsewhere_.path(),
                                          (enterSends ? L"--send " : L"") + received_.wstring());
        HWND box = chat_->waitForWindow(L"聊天框", 20s);
        ASSERT_NE(box, nullptr);
        MoveWindow(box, 0, 0, 300, 240, TRUE);
        ASSERT_TRUE(waitUntil([&] { return fs::exists(received_); }, 10s));
        ASSERT_TRUE(mappedOnDisplay(L"聊天框"));
        ASSERT_TRUE(hostClickOn(FindWindowExW(box, nullptr, L"Edit", nullptr)));
        Sleep(300);
        box_ = box;
    }
    void TearDown() override {
        if (box_ != nullptr) {
            PostMessageW(box_, WM_CLOSE, 0, 0);
        }
        if (program_ != nullptr && window_ != nullptr) {
            pressEscape(window_);
            EXPECT_EQ(program_->waitForExit(30s), 0);
        }
        if (!phrases_.empty()) {
            fs::remove(phrases_);
        }
    }
    std::vector<std::string> messages() {
        std::vector<std::string> lines;
        std::istringstream in(wholeFile(fs::path(received_.wstring() + L".messages")));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::string keysSent() { return wholeFile(fs::path(received_.wstring() + L".keys")); }
    // The text of a control of the program's window that holds the piece, or "".
    std::string controlTextWith(const std::wstring& piece) {
        std::pair<std::wstring, std::wstring> search{piece, L""};
        EnumChildWindows(
            window_,
            [](HWND child, LPARAM found) -> BOOL {
                auto* wanted = reinterpret_cast<std::pair<std::wstring, std::wstring>*>(found);
                wchar_t text[512] = {};
                GetWindowTextW(child, text, 512);
                if (std::wstring(text).find(wanted->first) != std::wstring::npos) {
                    wanted->second = text;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return platform::narrow(search.second);
    }
    static void setClipboard(const std::wstring& text) {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        SetClipboardData(CF_UNICODETEXT, memory);
        CloseClipboard();
    }
    static std::wstring clipboardText() {
        std::wstring text;
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                text = static_cast<const wchar_t*>(GlobalLock(data));
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        return text;
    }

    TempDir elsewhere_;
    fs::path phrases_, received_;
    std::unique_ptr<Started> program_, chat_;
    HWND window_ = nullptr, box_ = nullptr;
};

TEST_F(WineProgramHotkeys, F3SendsEnterPhrase3AndEnterToTheChatBoxTheHostClickedInto) {
    const std::string phrase3 = "主播好！欢迎来到直播间～ Lumivox 666";
    ASSERT_NO_FATAL_FAILURE(start(phrase3, false));
    const auto pressed = Clock::now();
    ASSERT_TRUE(xdotool(L"key F3"));
    const std::string expected = "\r\n" + phrase3 + "\r\n";
    EXPECT_TRUE(waitUntil([&] { return wholeFile(received_) == expected; }, 10s))
        << "the chat box holds: [" << wholeFile(received_) << "]\nit was sent: " << keysSent();
    std::printf(
        "F3 on the display to phrase 3 whole in the chat box, Lumivox.exe under Wine: "
        "%.0f ms\n",
        std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());
    Sleep(300);
    EXPECT_EQ(wholeFile(received_), expected) << "more than one phrase arrived";
    EXPECT_TRUE(program_->running());
}

// A chat box whose Enter sends: every press its own message, whole, and what
// the host had copied is on the clipboard again afterwards. (Code page 54936 is
// missing under Wine, so the phrase keeps to GBK: no emoji here.)
TEST_F(WineProgramHotkeys, EachPressSendsItsPhraseOnceAndTheHostsClipboardComesBack) {
    ASSERT_NO_FATAL_FAILURE(start("第一行\r\n第二行～", true));
    setClipboard(L"host copied this");
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        const std::size_t before = messages().size();
        const auto pressed = Clock::now();
        ASSERT_TRUE(xdotool(L"key F3"));
        const bool arrived = waitUntil([&] { return messages().size() > before; }, 5s);
        ASSERT_TRUE(arrived) << "press " << i + 1
                             << ": no message at its own press; sent: " << keysSent();
        const std::string line = messages()[before];
        // The chat box stamps the message on the performance counter, the clock
        // of steady_clock here.
        const long long sentNs = std::stoll(line.substr(0, line.find(' ')));
        ms.push_back(
            static_cast<double>(sentNs - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                             pressed.time_since_epoch())
                                             .count()) /
            1e6);
        EXPECT_EQ(line.substr(line.find(' ') + 1), "第一行\\n第二行～") << "press " << i + 1;
    }
    Sleep(2500);  // the give-back waits until nothing has read the phrase for a while
    EXPECT_EQ(messages().size(), 20u) << "a message came twice";
    EXPECT_EQ(platform::narrow(clipboardText()), "host copied this");
    std::sort(ms.begin(), ms.end());
    std::printf("F3 to message sent, Lumivox.exe under Wine: median %.0f ms, max %.0f ms\n",
                ms[ms.size() / 2], ms.back());
}

// Another program holds the clipboard open: not one key goes out, and the page
// says so; once it lets go, F3 works again. A held F3 sends one phrase.
TEST_F(WineProgramHotkeys, ClipboardHeldOpenSendsNothingAndAHeldKeySendsOnce) {
    ASSERT_NO_FATAL_FAILURE(start("第三条", true));
    setClipboard(L"host copied this");
    ASSERT_TRUE(OpenClipboard(nullptr));
    const std::string keysBefore = keysSent();
    ASSERT_TRUE(xdotool(L"key F3"));
    EXPECT_TRUE(waitUntil([&] { return !controlTextWith(L"剪贴板").empty(); }, 5s))
        << "the host was not told";
    Sleep(800);
    CloseClipboard();
    EXPECT_EQ(keysSent(), keysBefore) << "keys went out without the phrase";
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(platform::narrow(clipboardText()), "host copied this");

    std::wstring held = L"keydown F3";
    for (int repeat = 0; repeat < 15; ++repeat) {
        held += L" sleep 0.04 keydown F3";
    }
    ASSERT_TRUE(xdotool(held + L" keyup F3"));
    EXPECT_TRUE(waitUntil([&] { return messages().size() == 1; }, 5s)) << keysSent();
    Sleep(1500);
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_TRUE(controlTextWith(L"剪贴板").empty()) << "the report stayed after a phrase went";
}

}  // namespace
}  // namespace lumivox::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 2) {
        lumivox::testing::programPath = argv[1];
        lumivox::testing::chatBoxPath = argv[2];
    }
    return RUN_ALL_TESTS();
}
