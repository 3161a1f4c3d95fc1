// Virtual-key codes against X keysyms, and modifier flags against X masks.
// gtest first: X.h defines None, a name gtest uses.
#include <gtest/gtest.h>

#include <X11/X.h>
#include <X11/keysym.h>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/VirtualKeys.hpp"

namespace lumivox::platform {
namespace {

TEST(VirtualKeys, CodesNameTheirKeysBothWays) {
    const std::pair<int, std::uint32_t> table[] = {
        {0x70, XK_F1},        {0x72, XK_F3},      {0x7B, XK_F12},    {0x0D, XK_Return},
        {0x11, XK_Control_L}, {0x10, XK_Shift_L}, {0x12, XK_Alt_L},  {'V', XK_v},
        {'A', XK_a},          {'0', XK_0},        {0x60, XK_KP_0},   {0xBD, XK_minus},
        {0x2C, XK_Print},     {0x20, XK_space},   {0x1B, XK_Escape}, {0xDE, XK_apostrophe},
    };
    for (const auto& [code, keysym] : table) {
        SCOPED_TRACE(code);
        EXPECT_EQ(keysymForVirtualKey(code), keysym);
        EXPECT_EQ(virtualKeyForKeysym(keysym), code);
    }
    EXPECT_EQ(virtualKeyForKeysym(XK_V), 'V');  // a shifted letter is the same key
    for (int none : {0, 0xFF, 0x07, -1, 0x1000}) {
        EXPECT_EQ(keysymForVirtualKey(none), 0u) << none;
    }
    EXPECT_EQ(virtualKeyForKeysym(0x01004E2D), -1);
}

TEST(VirtualKeys, CharactersAndModifiers) {
    EXPECT_EQ(keysymForCharacter(U'v'), static_cast<std::uint32_t>(XK_v));
    EXPECT_EQ(keysymForCharacter(U'é'), static_cast<std::uint32_t>(XK_eacute));
    EXPECT_EQ(keysymForCharacter(U'\n'), static_cast<std::uint32_t>(XK_Return));
    EXPECT_EQ(keysymForCharacter(U'中'), 0x01004E2Du);
    EXPECT_EQ(modifierMaskForFlags(0), 0);
    EXPECT_EQ(modifierMaskForFlags(kHotkeyControl | kHotkeyShift), ControlMask | ShiftMask);
    EXPECT_EQ(modifierMaskForFlags(kHotkeyAlt | kHotkeyWin), Mod1Mask | Mod4Mask);
    EXPECT_EQ(modifierMaskForFlags(0x4000), 0);  // no X counterpart
}

}  // namespace
}  // namespace lumivox::platform
