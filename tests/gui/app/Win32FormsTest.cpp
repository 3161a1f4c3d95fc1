// The Win32 form runtime under Wine (on a private X screen): events reaching
// their handlers, timers, text stores read back byte for byte, dialog mode,
// Esc, the open-file dialog, work handed to the GUI thread and the hotkey
// notification delivered through the message loop.
#include <windows.h>
// After windows.h, whose types they use.
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "assets/Assets.hpp"
#include "base/Encoding.hpp"
#include "forms/win32/Win32Forms.hpp"
#include "forms/win32/Win32Pictures.hpp"
#include "platform/GlobalHotkeys.hpp"
#include "platform/GuiThread.hpp"
#include "platform/windows/GuiThreadWindows.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using layout::Kind;
using win32::Win32Forms;
using win32::Win32Window;

layout::WindowLayout smallLayout(const char* name, std::vector<layout::Row> rows = {}) {
    layout::WindowLayout window;
    window.name = name;
    window.title = name;
    window.clientWidth = 200;
    window.clientHeight = 100;
    window.rows = std::move(rows);
    return window;
}

class Win32FormsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through scripts/wine-with-display";
        layouts_ = {
            smallLayout("甲",
                        {{.name = "编辑框1", .kind = Kind::EditBox, .width = 100, .height = 20},
                         {.name = "编辑框2",
                          .kind = Kind::MultiLineEditBox,
                          .top = 30,
                          .width = 100,
                          .height = 40},
                         {.name = "分组框1",
                          .kind = Kind::GroupBox,
                          .top = 300,
                          .width = 50,
                          .height = 50,
                          .visible = false},
                         {.name = "编辑框3",
                          .kind = Kind::EditBox,
                          .parent = "分组框1",
                          .left = 5,
                          .top = 5,
                          .width = 30,
                          .height = 20,
                          .caption = "1"},
                         {.name = "对话框1", .kind = Kind::OpenFileDialog}}),
            smallLayout("对话框", {{.name = "时钟1", .kind = Kind::Timer, .interval = 20}}),
            smallLayout("事件", {{.name = "按钮",
                                  .kind = Kind::ImageButton,
                                  .width = 40,
                                  .height = 20,
                                  .caption = "按",
                                  .first = 1,
                                  .last = 3,
                                  .grid = {.perLine = 3, .dx = 50}},
                                 {.name = "标签",
                                  .kind = Kind::TransparentLabel,
                                  .top = 30,
                                  .width = 40,
                                  .height = 20,
                                  .caption = "x"},
                                 {.name = "标签1", .kind = Kind::Label, .top = 200},
                                 {.name = "时钟", .kind = Kind::Timer, .interval = 1}}),
            smallLayout("主", {{.name = "钟", .kind = Kind::Timer, .interval = 1}}),
            smallLayout(
                "缺图",
                {{.name = "图片框1", .kind = Kind::PictureBox, .caption = "pictures/none.jpg"}}),
            smallLayout("缺父", {{.name = "编辑框1", .kind = Kind::EditBox, .parent = "分组框9"}}),
        };
        layouts_[0].escapeCloses = true;
        wiring_ = {
            {"事件", "按钮", 1, 3, EventKind::Clicked, record()},
            {"事件", "标签", 0, 0, EventKind::LeftButtonDown, record()},
            {"事件", "标签1", 0, 0, EventKind::Notification, record()},
            {"事件", "时钟", 0, 0, EventKind::Tick,
             [this](Window& window, const Event& event) {
                 record()(window, event);
                 if (++ticks_ == 3) {
                     window.setInterval("时钟", 0);
                 }
             }},
            // Opens the dialog from a tick and goes on with its own window afterwards.
            {"主", "钟", 0, 0, EventKind::Tick,
             [this](Window& window, const Event&) {
                 window.setInterval("钟", 0);
                 window.forms().loadWindow("对话框", nullptr, true);
                 dialogReturned_ = true;
                 window.setCaption("钟", "");
             }},
            // While the dialog is open: what the others look like, and a close
            // from outside that a disabled window refuses; then it closes itself.
            {"对话框", "时钟1", 0, 0, EventKind::Tick,
             [this](Window& window, const Event&) {
                 window.setInterval("时钟1", 0);
                 HWND first = forms_->openForm("甲")->handle();
                 firstEnabledInDialog_ = IsWindowEnabled(first) != 0;
                 SendMessageW(first, WM_CLOSE, 0, 0);
                 firstOpenAfterOutsideClose_ = forms_->openForm("甲") != nullptr;
                 window.close();
             }},
        };
        forms_ = std::make_unique<Win32Forms>(
            [this](std::string_view name) {
                for (const layout::WindowLayout& layout : layouts_) {
                    if (layout.name == name) {
                        return &layout;
                    }
                }
                return static_cast<const layout::WindowLayout*>(nullptr);
            },
            wiring_);
    }

    void TearDown() override {
        forms_.reset();
        // Nothing of this test (its quit message above all) reaches the next.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    Handler record() {
        return [this](Window&, const Event& event) {
            events_.push_back(event);
            controls_.emplace_back(event.control);
        };
    }

    // Runs the loop until the condition holds or the time is up.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            forms_->processPendingMessages();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        return true;
    }

    std::vector<layout::WindowLayout> layouts_;
    std::vector<Binding> wiring_;
    std::unique_ptr<Win32Forms> forms_;
    std::vector<Event> events_;
    std::vector<std::string> controls_;
    int ticks_ = 0;
    bool dialogReturned_ = false;
    bool firstEnabledInDialog_ = true;
    bool firstOpenAfterOutsideClose_ = false;
};

TEST_F(Win32FormsTest, EventsReachTheirHandlersWithTheirArguments) {
    ASSERT_TRUE(forms_->loadWindow("事件", nullptr, false));
    Win32Window* window = forms_->openForm("事件");
    ASSERT_NE(window, nullptr);
    // The timer ticks three times, then its interval of 0 stops it.
    ASSERT_TRUE(pumpUntil([&] { return ticks_ == 3; }));
    pumpUntil([] { return false; }, 200ms);
    EXPECT_EQ(ticks_, 3);
    events_.clear();
    controls_.clear();

    // A click on 按钮2: pressed and let go over it.
    HWND button = window->controlHandle("按钮2");
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    // Let go outside it: no click.
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(300, 5));
    SendMessageW(window->controlHandle("标签"), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL,
                 MAKELPARAM(7, 9));
    window->raiseNotification("标签1", 116, 0x70);
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[0].kind, EventKind::Clicked);
    EXPECT_EQ(controls_[0], "按钮2");
    EXPECT_EQ(events_[0].number, 2);
    EXPECT_EQ(events_[1].kind, EventKind::LeftButtonDown);
    EXPECT_EQ(events_[1].x, 7);
    EXPECT_EQ(events_[1].y, 9);
    EXPECT_EQ(events_[1].keyState, kKeyStateCtrl);
    EXPECT_EQ(events_[2].kind, EventKind::Notification);
    EXPECT_EQ(events_[2].first, 116);
    EXPECT_EQ(events_[2].second, 0x70);
    // Captions read back as written, GBK bytes that do not decode too.
    const Text odd = "\x81\x20" + utf8ToGbk("按钮");
    window->setCaption("按钮3", odd);
    EXPECT_EQ(window->caption("按钮3"), odd);
}

TEST_F(Win32FormsTest, TextStoresReadBackByteForByte) {
    ASSERT_TRUE(forms_->loadWindow("甲", nullptr, false));
    Win32Window* window = forms_->openForm("甲");
    // A store inside a hidden group box has no system window until shown.
    EXPECT_EQ(window->controlHandle("编辑框3"), nullptr);
    EXPECT_EQ(window->text("编辑框3"), "1");
    const std::vector<Text> texts = {
        utf8ToGbk("第一行\r\n第二行"),
        "\x81\x30\x81\x30" + utf8ToGbk("😀"),  // GB18030 four-byte sequences
        std::string("\x81\x20\xFF", 3),       // bytes that do not decode
        "",
    };
    for (const char* box : {"编辑框1", "编辑框2", "编辑框3"}) {
        for (const Text& text : texts) {
            window->setText(box, text);
            EXPECT_EQ(window->text(box), text) << box;
        }
    }
    window->setText("编辑框3", texts[2]);
    window->setVisible("分组框1", true);
    ASSERT_NE(window->controlHandle("编辑框3"), nullptr);
    EXPECT_EQ(window->text("编辑框3"), texts[2]);
    window->appendText("编辑框1", utf8ToGbk("甲"));
    window->appendText("编辑框1", utf8ToGbk("乙"));
    EXPECT_EQ(window->text("编辑框1"), utf8ToGbk("甲乙"));
    // Once the host types, the box reads what it shows.
    HWND box = window->controlHandle("编辑框2");
    window->setText("编辑框2", utf8ToGbk("旧"));
    SetFocus(box);
    SendMessageW(box, EM_SETSEL, 0, -1);
    for (wchar_t typed : std::wstring(L"新\r字")) {
        SendMessageW(box, WM_CHAR, typed, 1);
    }
    EXPECT_EQ(window->text("编辑框2"), utf8ToGbk("新\r\n字"));
}

TEST_F(Win32FormsTest, DialogModeDisablesTheOthersUntilItCloses) {
    ASSERT_TRUE(forms_->loadWindow("甲", nullptr, false));
    ASSERT_TRUE(forms_->loadWindow("主", nullptr, false));
    HWND first = forms_->openForm("甲")->handle();
    ASSERT_TRUE(pumpUntil([&] { return dialogReturned_; }));
    // Inside the dialog's nested loop the other window was disabled and kept
    // itself open against a close from outside; afterwards it is enabled again.
    EXPECT_FALSE(firstEnabledInDialog_);
    EXPECT_TRUE(firstOpenAfterOutsideClose_);
    EXPECT_TRUE(IsWindowEnabled(first));
    EXPECT_EQ(forms_->openForm("对话框"), nullptr);
    // A second load of an open window only brings it forward.
    EXPECT_TRUE(forms_->loadWindow("甲", nullptr, false));
    EXPECT_EQ(forms_->openForm("甲")->handle(), first);
    EXPECT_FALSE(forms_->loadWindow("无此窗口", nullptr, false));
}

// A layout that cannot be built (a picture that is not there, a parent laid
// out nowhere) fails the load and leaves no window behind.
TEST_F(Win32FormsTest, AFailingLayoutMakesNoWindow) {
    for (const char* name : {"缺图", "缺父"}) {
        EXPECT_FALSE(forms_->loadWindow(name, nullptr, false)) << name;
        EXPECT_EQ(forms_->openWindow(name), nullptr) << name;
        EXPECT_EQ(FindWindowW(L"LumivoxForm", platform::widen(name).c_str()), nullptr) << name;
    }
}

TEST_F(Win32FormsTest, EscClosesAWindowThatSaysSoFromAnyControl) {
    ASSERT_TRUE(forms_->loadWindow("甲", nullptr, false));
    ASSERT_TRUE(forms_->loadWindow("事件", nullptr, false));
    // Esc on the other window's button: it stays.
    PostMessageW(forms_->openForm("事件")->controlHandle("按钮1"), WM_KEYDOWN, VK_ESCAPE, 1);
    // Esc in a multi-line box of 甲: it closes.
    PostMessageW(forms_->openForm("甲")->controlHandle("编辑框2"), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(pumpUntil([&] { return forms_->openForm("甲") == nullptr; }));
    EXPECT_NE(forms_->openForm("事件"), nullptr);
}

TEST_F(Win32FormsTest, WorkFromOtherThreadsRunsOnTheGuiThread) {
    ASSERT_TRUE(platform::serveGuiThreadCalls());
    EXPECT_TRUE(platform::isGuiThread());
    std::atomic<bool> ranOnGui{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> accepted{false};
    std::thread worker([&] {
        EXPECT_FALSE(platform::isGuiThread());
        accepted = platform::runOnGuiThread([&] { ranOnGui = platform::isGuiThread(); });
        returned = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(ranOnGui);
    // Once the calls end, work is refused without waiting.
    platform::endGuiThreadCalls();
    std::thread late([&] { accepted = platform::runOnGuiThread([] {}); });
    late.join();
    EXPECT_FALSE(accepted);
}

// The hotkey service's report reaches the label's handler on the GUI thread,
// through the window's message loop.
TEST_F(Win32FormsTest, HotkeyReachesTheLabelThroughTheLoop) {
    ASSERT_TRUE(forms_->loadWindow("事件", nullptr, false));
    Win32Window* window = forms_->openForm("事件");
    ASSERT_TRUE(pumpUntil([&] { return ticks_ == 3; }));
    events_.clear();
    platform::GlobalHotkeys& hotkeys = platform::systemGlobalHotkeys();
    ASSERT_TRUE(hotkeys.startListening(
        [window](int identifier) { window->raiseNotification("标签1", identifier, 0); }));
    ASSERT_TRUE(hotkeys.registerHotkey(4711, 0, VK_F9));
    // The message the system sends for a fired hotkey, to the service's window.
    HWND service = FindWindowExW(HWND_MESSAGE, nullptr, L"LumivoxHotkeys", nullptr);
    ASSERT_NE(service, nullptr);
    PostMessageW(service, WM_HOTKEY, 4711, MAKELPARAM(0, VK_F9));
    EXPECT_TRUE(pumpUntil([&] { return !events_.empty(); }));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].kind, EventKind::Notification);
    EXPECT_EQ(events_[0].first, 4711);
    // The key itself, pressed while a window of the program has the focus
    // (Wine reports hotkeys only then).
    events_.clear();
    SetForegroundWindow(window->handle());
    SetFocus(window->handle());
    INPUT key[2] = {};
    key[0].type = INPUT_KEYBOARD;
    key[0].ki.wVk = VK_F9;
    key[1] = key[0];
    key[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, key, sizeof(INPUT));
    EXPECT_TRUE(pumpUntil([&] { return !events_.empty(); }, 5s));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].first, 4711);
    EXPECT_TRUE(hotkeys.unregisterHotkey(4711));
    EXPECT_TRUE(hotkeys.stopListening());
}

// The host picks a file in the system's open dialog: its full path comes back
// as GBK, and the current folder stays where it was.
TEST_F(Win32FormsTest, OpenFileDialogGivesThePathAndKeepsTheCurrentFolder) {
    TempDir folder;
    const fs::path song = folder.path() / fs::path(platform::widen("歌曲 一.mp3"));
    std::ofstream(song) << "x";
    ASSERT_TRUE(forms_->loadWindow("甲", nullptr, false));
    Win32Window* window = forms_->openForm("甲");
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    // The host's part, from another thread: the file name typed, then OK.
    std::atomic<bool> stop{false};
    const DWORD gui = GetCurrentThreadId();
    std::thread host([&] {
        while (!stop) {
            HWND dialog = nullptr;
            EnumThreadWindows(
                gui,
                [](HWND candidate, LPARAM found) {
                    wchar_t name[16] = {};
                    GetClassNameW(candidate, name, 16);
                    if (std::wstring(name) == L"#32770" && IsWindowVisible(candidate)) {
                        *reinterpret_cast<HWND*>(found) = candidate;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&dialog));
            if (dialog != nullptr) {
                Sleep(300);
                // The file-name box: an edit in the name combo (cmb13) or edt1.
                const std::wstring path = song.wstring();
                if (!SetDlgItemTextW(dialog, 0x47C, path.c_str())) {
                    SetDlgItemTextW(dialog, 0x480, path.c_str());
                }
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(50);
        }
    });
    const bool chosen = window->openFileDialog("对话框1");
    stop = true;
    host.join();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(fs::path(platform::widen(gbkToUtf8(window->fileName("对话框1")))), song);
    wchar_t after[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_EQ(std::wstring(after), std::wstring(before));
}

// A move to a monitor of 200 % and back: the window takes the client size of
// the DPI, every control its scaled place and font, a transparent label
// reports clicks and the window its position in the layout's pixels, and the
// program's moves are scaled; at 96 DPI again all is as it was.
TEST_F(Win32FormsTest, AChangeOfDpiReLaysTheWindow) {
    ASSERT_TRUE(forms_->loadWindow("事件", nullptr, false));
    Win32Window* form = forms_->openForm("事件");
    HWND window = form->handle();
    auto placeOf = [&](const char* control) {
        RECT place{};
        GetWindowRect(form->controlHandle(control), &place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
        return place;
    };
    auto fontHeight = [&](const char* control) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form->controlHandle(control), WM_GETFONT,
                                                        0, 0)),
                   sizeof(font), &font);
        return font.lfHeight;
    };
    struct Case {
        int dpi;
        int clientWidth, clientHeight;
        RECT button2, label;
        LONG fontHeight;
        POINT labelClick, reported;
        POINT movedOnScreen;  // after move(100, 50)
    };
    for (const Case& each : {
             Case{192, 400, 200, {100, 0, 180, 40}, {0, 60, 80, 100}, -24, {21, 11}, {10, 5},
                  {200, 100}},
             Case{144, 300, 150, {75, 0, 135, 30}, {0, 45, 60, 75}, -18, {15, 9}, {10, 6},
                  {150, 75}},
             Case{96, 200, 100, {50, 0, 90, 20}, {0, 30, 40, 50}, -12, {21, 11}, {21, 11},
                  {100, 50}},
         }) {
        SCOPED_TRACE("DPI " + std::to_string(each.dpi));
        RECT suggested{};
        GetWindowRect(window, &suggested);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(each.dpi, each.dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, each.clientWidth);
        EXPECT_EQ(client.bottom, each.clientHeight);
        const RECT button = placeOf("按钮2");
        EXPECT_TRUE(EqualRect(&button, &each.button2))
            << button.left << "," << button.top << " " << button.right << "," << button.bottom;
        const RECT label = placeOf("标签");
        EXPECT_TRUE(EqualRect(&label, &each.label))
            << label.left << "," << label.top << " " << label.right << "," << label.bottom;
        EXPECT_EQ(fontHeight("标签1"), each.fontHeight);
        events_.clear();
        SendMessageW(form->controlHandle("标签"), WM_LBUTTONDOWN, 0,
                     MAKELPARAM(each.labelClick.x, each.labelClick.y));
        ASSERT_EQ(events_.size(), 1u);
        EXPECT_EQ(events_[0].x, each.reported.x);
        EXPECT_EQ(events_[0].y, each.reported.y);
        form->move(100, 50);
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, each.movedOnScreen.x);
        EXPECT_EQ(outer.top, each.movedOnScreen.y);
        EXPECT_EQ(form->left(), 100);
        EXPECT_EQ(form->top(), 50);
    }
}

// The program's icon and the update window's, from their PNGs, in the sizes the
// system asks for.
TEST_F(Win32FormsTest, IconsAreMadeFromTheirPictures) {
    ASSERT_TRUE(forms_->loadWindow("甲", nullptr, false));
    HWND shown = forms_->openForm("甲")->handle();
    EXPECT_NE(SendMessageW(shown, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(shown, WM_GETICON, ICON_SMALL, 0), 0);
    for (const char* pattern : {"icons/lumivox_{n}.png", "icons/update_{n}.png"}) {
        std::string name = pattern;
        name.replace(name.find("{n}"), 3, "32");
        const win32::Picture picture = win32::decodePicture(assets::find(name));
        EXPECT_EQ(picture.width, 32) << name;
        EXPECT_EQ(picture.height, 32) << name;
        for (int size : {16, 32, 48}) {
            EXPECT_NE(win32::embeddedIcon(pattern, size), nullptr) << pattern << " " << size;
        }
    }
}

}  // namespace
}  // namespace lumivox::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    return RUN_ALL_TESTS();
}
