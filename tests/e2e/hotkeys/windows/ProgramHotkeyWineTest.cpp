// The hotkey phrases of Lumivox.exe under Wine on a private X screen
// (scripts/wine-with-display), its version file from nginx
// (scripts/wine-with-nginx), driven as the host drives them with the mouse and
// keyboard of the X display (xdotool): the hotkey page, "开启热键" and the OK
// of its message, a click into a chat box stand-in of ours (under Wine a hotkey
// fires only while a Wine window has the focus), then F3. Arguments: the
// program and the chat box.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "platform/DataFolder.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/online/WineNginx.hpp"
#include "tests/e2e/shell/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string programPath;
std::string chatBoxPath;

TEST(WineProgramHotkeys, F3SendsEnterPhrase3AndEnterToTheChatBoxTheHostClickedInto) {
    ASSERT_NE(std::getenv("LUMIVOX_DISPLAY"), nullptr) << "run through scripts/wine-with-display";
    ASSERT_FALSE(programPath.empty() || chatBoxPath.empty());
    std::string url;
    fs::path www;
    ASSERT_TRUE(online::wineNginx(url, www)) << "run through scripts/wine-with-nginx";
    // A version that is not this one's: the program runs on after its check.
    std::ofstream(fs::path(windowsPath(www.string())) / "111.txt", std::ios::binary)
        << "2---http://127.0.0.1:1/none.exe---Lumivox";
    SetEnvironmentVariableW(L"LUMIVOX_SERVER",
                            platform::widen(url.substr(url.find("//") + 2)).c_str());
    // The phrases the program loads at start: p1 ... p12, phrase 3 in Chinese.
    const fs::path data = fs::path(platform::widen(platform::dataFolder()));
    fs::create_directories(data);
    const fs::path phrases = data / L"快捷键配置.txt";
    const std::string phrase3 = "主播好！欢迎来到直播间～ Lumivox 666";
    std::string file;
    for (int n = 1; n <= 12; ++n) {
        file += (n == 3 ? utf8ToGbk(phrase3) : "p" + std::to_string(n));
        file += kSettingsSeparator;
    }
    std::ofstream(phrases, std::ios::binary) << file;

    TempDir elsewhere;
    xdotool(L"mousemove 0 0");
    Started program(programPath, elsewhere.path());
    HWND window = program.waitForWindow(L"LumivoxV1.0", 60s);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(mappedOnDisplay(L"LumivoxV1.0"));
    Sleep(2500);  // past the version check

    // 特定按钮1 "快捷键", then 保存配置按钮1 "开启热键" and OK on its message.
    ASSERT_TRUE(hostClick(window, 8 + 50, 72 + 22));
    Sleep(300);
    ASSERT_TRUE(hostClick(window, 8 + 360 + 48, 128 + 416 + 16));
    HWND told = program.waitForWindow(L"温馨提示：", 20s);
    ASSERT_NE(told, nullptr) << "switching on told the host nothing";
    ASSERT_TRUE(mappedOnDisplay(L"温馨提示："));
    ASSERT_TRUE(hostClickOn(FindWindowExW(told, nullptr, L"Button", nullptr)));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(told); }, 10s)) << "the message stayed";

    // The chat box, left of the program's window, and the host's click into it.
    const fs::path received = elsewhere / "chat.txt";
    Started chat(chatBoxPath, elsewhere.path(), received.wstring());
    HWND box = chat.waitForWindow(L"聊天框", 20s);
    ASSERT_NE(box, nullptr);
    MoveWindow(box, 0, 0, 300, 240, TRUE);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(received); }, 10s));
    ASSERT_TRUE(mappedOnDisplay(L"聊天框"));
    ASSERT_TRUE(hostClickOn(FindWindowExW(box, nullptr, L"Edit", nullptr)));
    Sleep(300);

    const auto pressed = Clock::now();
    ASSERT_TRUE(xdotool(L"key F3"));
    const std::string expected = "\r\n" + phrase3 + "\r\n";
    EXPECT_TRUE(waitUntil([&] { return wholeFile(received) == expected; }, 10s))
        << "the chat box holds: [" << wholeFile(received)
        << "]\nit was sent: " << wholeFile(fs::path(received.wstring() + L".keys"));
    std::printf(
        "F3 on the display to phrase 3 whole in the chat box, Lumivox.exe under Wine: "
        "%.0f ms\n",
        std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());
    Sleep(300);
    EXPECT_EQ(wholeFile(received), expected) << "more than one phrase arrived";
    EXPECT_TRUE(program.running());

    PostMessageW(box, WM_CLOSE, 0, 0);
    pressEscape(window);
    EXPECT_EQ(program.waitForExit(30s), 0);
    fs::remove(phrases);
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
