// The Windows build's hotkey phrase path and message boxes under Wine, on a
// private Xvfb display (scripts/wine-with-display), at the platform level: the
// form runtime that owns them in the program is not needed here.
//   Hotkeys: F3 is registered through the hotkey service on RegisterHotKey; a
//   chat box stand-in of ours (ChatBox.cpp) holds the focus, since under Wine a
//   hotkey fires only while a Wine window has it; xdotool presses F3 on the X
//   display. The hotkey's handler is this test's own: it puts the text on the
//   clipboard and injects Enter, Ctrl+V and Enter through the platform's
//   clipboard and key injection (SendInput). So this checks the hotkey service
//   and those platform parts; the program's own phrase sender, from its phrase
//   page, is driven in ProgramHotkeyWineTest.cpp.
//   Message boxes: the box shows the text and caption, and a key pressed on the
//   display gives the result its style asks for.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "base/Encoding.hpp"
#include "hotkeys/HotkeyService.hpp"
#include "hotkeys/SimulateKeys.hpp"
#include "platform/Clipboard.hpp"
#include "platform/GlobalHotkeys.hpp"
#include "platform/MessageBox.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kF3 = 0x72, kEnter = 13, kControl = 17, kKeyV = 86;

// Starts a Windows program and, with `wait`, waits for its end. (Linux
// programs such as xdotool go through WineDriving's xdotool(): Wine gives no
// handle to wait on for them.)
bool run(const std::wstring& commandLine, bool wait = true) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return false;
    if (wait)
        WaitForSingleObject(started.hProcess, 10000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

// A key pressed and released on the X display, as a user's keyboard would.
bool pressOnDisplay(const char* keysym) {
    return lumivox::testing::xdotool(L"key " + platform::widen(keysym));
}

// Waits until a window of that title is mapped on the X display: Wine makes
// its X windows after the Win32 ones, and a click before that hits the root.
bool visibleOnDisplay(const std::wstring& title) {
    return lumivox::testing::mappedOnDisplay(title);
}

// A left click at a screen position (Wine's screen is the X root window).
bool clickOnDisplay(long x, long y) {
    return lumivox::testing::xdotool(L"mousemove " + std::to_wstring(x) + L" " +
                                     std::to_wstring(y) + L" click 1");
}

// Serves this thread's messages (the hotkey window's WM_HOTKEY among them)
// until `done` or the time-out.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// True once the window's thread has it active and a control of it focused.
bool hasKeyboardFocus(HWND window, HWND control = nullptr) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) &&
           gui.hwndActive == GetAncestor(window, GA_ROOT) &&
           (control != nullptr ? gui.hwndFocus == control : gui.hwndFocus != nullptr);
}

class WineDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("LUMIVOX_DISPLAY"), nullptr)
            << "run through scripts/wine-with-display";
    }
    lumivox::testing::TempDir dir_;
};

TEST_F(WineDesktop, F3FiresItsHotkeyOnceAndTheInjectedKeysAndClipboardReachTheFocusedBox) {
    const fs::path received = dir_ / "chat.txt";
    // The box runs on; it writes its empty text once it is up.
    ASSERT_TRUE(
        run(L"\"" + platform::widen(LUMIVOX_CHAT_BOX) + L"\" " + received.wstring(), false));
    HWND chat = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] {
            chat = FindWindowW(L"LumivoxChatBox", nullptr);
            return chat != nullptr && fs::exists(received);
        },
        20s))
        << "the chat box did not come up";
    // The host clicks into the chat box, as the program asks: with no window
    // manager the X keyboard focus follows the pointer, and so do F3 and the keys.
    ASSERT_TRUE(visibleOnDisplay(L"聊天框"));
    const HWND edit = FindWindowExW(chat, nullptr, L"Edit", nullptr);
    RECT box{};
    ASSERT_TRUE(edit != nullptr && GetWindowRect(edit, &box));
    ASSERT_TRUE(clickOnDisplay((box.left + box.right) / 2, (box.top + box.bottom) / 2));
    ASSERT_TRUE(pumpUntil([&] { return hasKeyboardFocus(chat, edit); }, 10s))
        << "the chat box's edit box did not take the focus";

    // The phrase as the phrase page keeps it: GBK, Chinese and ASCII.
    const Text phrase = utf8ToGbk("主播好！欢迎来到直播间～ Lumivox 666");
    std::atomic<int> fired{0};
    Clock::time_point firedAt{};
    HotkeyService service(platform::systemGlobalHotkeys());
    const std::int32_t identifier = service.addGlobalHotkey(
        [&](std::int32_t id, std::int32_t) {
            EXPECT_EQ(id, kFirstHotkeyIdentifier);
            firedAt = Clock::now();
            ++fired;
            simulateKeys(kEnter);
            EXPECT_TRUE(platform::setClipboardText(gbkToUtf8(phrase)));
            simulateKeys(kControl, kKeyV);
            simulateKeys(kEnter);
        },
        0, kF3);
    ASSERT_EQ(identifier, kFirstHotkeyIdentifier);

    const auto pressed = Clock::now();
    ASSERT_TRUE(pressOnDisplay("F3"));
    const std::string expected = "\r\n" + gbkToUtf8(phrase) + "\r\n";
    EXPECT_TRUE(pumpUntil([&] { return lumivox::testing::wholeFile(received) == expected; }, 10s))
        << "the chat box holds: " << lumivox::testing::wholeFile(received)
        << "\nit was sent: " << lumivox::testing::wholeFile(received.string() + ".keys");
    EXPECT_EQ(fired, 1);
    std::printf(
        "F3 on the display to the hotkey: %.1f ms; to the whole phrase in the box: %.1f ms\n",
        std::chrono::duration<double, std::milli>(firedAt - pressed).count(),
        std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());

    // Given back, F3 reaches the chat box itself and fires nothing.
    EXPECT_TRUE(service.removeGlobalHotkey(identifier));
    ASSERT_TRUE(pressOnDisplay("F3"));
    pumpUntil([] { return false; }, 500ms);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(lumivox::testing::wholeFile(received), expected);
    PostMessageW(chat, WM_CLOSE, 0, 0);
}

TEST_F(WineDesktop, MessageBoxShowsItsTextAndGivesTheButtonPressed) {
    struct Case {
        unsigned style;
        const char* key;
        int result;
    };
    const Case cases[] = {
        {MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2, "Return", IDNO},
        {MB_YESNO | MB_ICONQUESTION, "Return", IDYES},
        {MB_OKCANCEL | MB_TASKMODAL, "Escape", IDCANCEL},
        {MB_OK, "Return", IDOK},
    };
    const std::string message = "下载完成，请手动删除旧版本！软件自动运行新版本！";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        std::atomic<int> result{-1};
        std::thread box([&] { result = platform::showMessageBox(message, c.style, "提示"); });
        HWND window = nullptr;
        EXPECT_TRUE(pumpUntil(
            [&] {
                window = FindWindowW(L"#32770", L"提示");
                return window != nullptr && GetForegroundWindow() == window;
            },
            20s));
        std::wstring text(256, L'\0');
        text.resize(static_cast<std::size_t>(
            GetDlgItemTextW(window, 0xFFFF, text.data(), static_cast<int>(text.size()))));
        EXPECT_EQ(platform::narrow(text), message);
        // The host's click on the box's text brings the keyboard to it.
        EXPECT_TRUE(visibleOnDisplay(L"提示"));
        RECT area{};
        GetWindowRect(GetDlgItem(window, 0xFFFF), &area);
        EXPECT_TRUE(clickOnDisplay((area.left + area.right) / 2, (area.top + area.bottom) / 2));
        EXPECT_TRUE(pumpUntil([&] { return hasKeyboardFocus(window); }, 10s));
        EXPECT_TRUE(pressOnDisplay(c.key));
        EXPECT_TRUE(pumpUntil([&] { return result != -1; }, 10s));
        if (result == -1)
            PostMessageW(window, WM_CLOSE, 0, 0);  // let the thread end
        box.join();
        EXPECT_EQ(result, c.result);
    }
}

}  // namespace
}  // namespace lumivox
