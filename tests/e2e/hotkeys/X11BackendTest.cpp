// The X11 hotkey table and key lookup on a private X server, through Qt's own
// connection as the program uses them: what is refused, and which key types a
// character under the server's keyboard layout.
#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QGuiApplication>

#include "platform/GlobalHotkeys.hpp"
#include "platform/KeyInjection.hpp"
#include "platform/linux/qt/X11Keyboard.hpp"
#include "tests/support/HotkeyTableSteps.hpp"
#include "tests/support/PrivateDisplay.hpp"

namespace lumivox::platform {
namespace {

constexpr int kF9 = 0x78, kF10 = 0x79;

TEST(X11Hotkeys, RefusesWhatIsHeldAlreadyAndGivesBackWhatItHolds) {
    GlobalHotkeys& hotkeys = systemGlobalHotkeys();
    ASSERT_TRUE(hotkeys.startListening([](int) {}));
    // F10 held by another client, with any modifiers.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    const xcb_keycode_t f10 = x11::KeyboardMap(other).keycodeFor(XK_F10);
    ASSERT_EQ(xcb_request_check(
                  other, xcb_grab_key_checked(other, 0, x11::rootWindow(other), XCB_MOD_MASK_ANY,
                                              f10, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
              nullptr);

    testing::runHotkeyTableSteps(hotkeys, kF9, kF10);
    // What we hold, another client cannot take: and what we gave back, it can.
    const xcb_keycode_t f9 = x11::KeyboardMap(other).keycodeFor(XK_F9);
    auto otherGrabs = [&](std::uint16_t modifiers) {
        xcb_generic_error_t* error = xcb_request_check(
            other, xcb_grab_key_checked(other, 0, x11::rootWindow(other), modifiers, f9,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    };
    EXPECT_FALSE(otherGrabs(0));
    EXPECT_FALSE(otherGrabs(XCB_MOD_MASK_LOCK));  // every lock variant is ours
    EXPECT_TRUE(hotkeys.unregisterHotkey(6));
    EXPECT_TRUE(hotkeys.unregisterHotkey(3));
    EXPECT_TRUE(otherGrabs(0));
    EXPECT_TRUE(otherGrabs(XCB_MOD_MASK_LOCK));
    EXPECT_TRUE(hotkeys.stopListening());
    xcb_disconnect(other);
}

// The program may get to a press late (a busy event loop, a loaded machine):
// taps stay taps, and a held key's repeats stay one press, whatever was down or
// up by the time the presses are read.
TEST(X11Hotkeys, TapsReadLateAreTapsAndAHeldKeyIsOnePress) {
    GlobalHotkeys& hotkeys = systemGlobalHotkeys();
    int presses = 0;
    ASSERT_TRUE(hotkeys.startListening([&](int identifier) { presses += identifier == 7; }));
    ASSERT_TRUE(hotkeys.registerHotkey(7, 0, kF9));
    struct Case {
        const char* keys;  // typed while the event loop does not run
        int newPresses;
    };
    const Case cases[] = {
        {"key F9 key F9 keydown F9", 3},           // two taps, and the third still down
        {"keydown F9 keydown F9 keydown F9", 0},   // its repeats
        {"keyup F9 keydown F9 keyup F9", 1},       // released, then a tap
        {"keydown F9 keydown F9 keyup F9 key F9", 2},  // held and repeated, then a tap
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        const int before = presses;
        ASSERT_EQ(std::system(("xdotool " + std::string(c.keys)).c_str()), 0);
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 400) {
            const int seen = presses;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (presses != seen) {
                quiet.restart();
            }
        }
        EXPECT_EQ(presses - before, c.newPresses);
    }
    EXPECT_TRUE(hotkeys.unregisterHotkey(7));
    EXPECT_TRUE(hotkeys.stopListening());
}

TEST(X11Keys, CharacterLookupGivesTheKeyThatTypesIt) {
    KeyInjector& keys = systemKeyInjector();
    const std::pair<char32_t, int> table[] = {
        {U'v', 'V'},  {U'V', 'V'},  {U'1', '1'},   {U'!', '1'},  // shifted: the same key
        {U' ', 0x20}, {U'-', 0xBD}, {U'\n', 0x0D}, {U'中', -1},
    };
    for (const auto& [character, code] : table) {
        EXPECT_EQ(keys.virtualKeyForCharacter(character), code) << static_cast<int>(character);
    }
}

}  // namespace
}  // namespace lumivox::platform

int main(int argc, char** argv) {
    // A private X server, reached through Qt's own connection as in the program.
    lumivox::testing::PrivateDisplay display;
    for (const auto& [key, value] : display.environment()) {
        setenv(key.c_str(), value.c_str(), 1);
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
