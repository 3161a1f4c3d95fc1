#include "platform/linux/VirtualKeys.hpp"

#include <X11/X.h>
#include <X11/keysym.h>

#include <utility>

#include "platform/GlobalHotkeys.hpp"

namespace lumivox::platform {
namespace {

// Codes that are not a letter, digit or function key.
constexpr std::pair<int, std::uint32_t> kNamedKeys[] = {
    {0x08, XK_BackSpace},    {0x09, XK_Tab},         {0x0C, XK_Clear},
    {0x0D, XK_Return},       {0x10, XK_Shift_L},     {0x11, XK_Control_L},
    {0x12, XK_Alt_L},        {0x13, XK_Pause},       {0x14, XK_Caps_Lock},
    {0x1B, XK_Escape},       {0x20, XK_space},       {0x21, XK_Prior},
    {0x22, XK_Next},         {0x23, XK_End},         {0x24, XK_Home},
    {0x25, XK_Left},         {0x26, XK_Up},          {0x27, XK_Right},
    {0x28, XK_Down},         {0x29, XK_Select},      {0x2B, XK_Execute},
    {0x2C, XK_Print},        {0x2D, XK_Insert},      {0x2E, XK_Delete},
    {0x2F, XK_Help},         {0x5B, XK_Super_L},     {0x5C, XK_Super_R},
    {0x5D, XK_Menu},         {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},
    {0x6C, XK_KP_Separator}, {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide},    {0x90, XK_Num_Lock},    {0x91, XK_Scroll_Lock},
    {0xA0, XK_Shift_L},      {0xA1, XK_Shift_R},     {0xA2, XK_Control_L},
    {0xA3, XK_Control_R},    {0xA4, XK_Alt_L},       {0xA5, XK_Alt_R},
    {0xBA, XK_semicolon},    {0xBB, XK_equal},       {0xBC, XK_comma},
    {0xBD, XK_minus},        {0xBE, XK_period},      {0xBF, XK_slash},
    {0xC0, XK_grave},        {0xDB, XK_bracketleft}, {0xDC, XK_backslash},
    {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},  {0xE2, XK_less},
    {0x03, XK_Cancel},       {0x19, XK_Kanji},       {0x15, XK_Hangul},
};

}  // namespace

std::uint32_t keysymForVirtualKey(int virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        return XK_a + static_cast<std::uint32_t>(virtualKey - 'A');
    }
    if (virtualKey >= '0' && virtualKey <= '9') {
        return XK_0 + static_cast<std::uint32_t>(virtualKey - '0');
    }
    if (virtualKey >= 0x60 && virtualKey <= 0x69) {
        return XK_KP_0 + static_cast<std::uint32_t>(virtualKey - 0x60);
    }
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {  // F1 to F24
        return XK_F1 + static_cast<std::uint32_t>(virtualKey - 0x70);
    }
    for (const auto& [code, keysym] : kNamedKeys) {
        if (code == virtualKey) {
            return keysym;
        }
    }
    return 0;
}

int virtualKeyForKeysym(std::uint32_t keysym) {
    if (keysym >= XK_a && keysym <= XK_z) {
        return 'A' + static_cast<int>(keysym - XK_a);
    }
    if (keysym >= XK_A && keysym <= XK_Z) {
        return 'A' + static_cast<int>(keysym - XK_A);
    }
    if (keysym >= XK_0 && keysym <= XK_9) {
        return '0' + static_cast<int>(keysym - XK_0);
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) {
        return 0x60 + static_cast<int>(keysym - XK_KP_0);
    }
    if (keysym >= XK_F1 && keysym <= XK_F24) {
        return 0x70 + static_cast<int>(keysym - XK_F1);
    }
    for (const auto& [code, named] : kNamedKeys) {
        if (named == keysym) {
            return code;
        }
    }
    return -1;
}

std::uint32_t keysymForCharacter(char32_t character) {
    if (character == U'\n' || character == U'\r') {
        return XK_Return;
    }
    if (character == U'\t') {
        return XK_Tab;
    }
    if ((character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<std::uint32_t>(character);
    }
    return 0x01000000u + static_cast<std::uint32_t>(character);
}

std::uint16_t modifierMaskForFlags(unsigned modifierFlags) {
    std::uint16_t mask = 0;
    if ((modifierFlags & kHotkeyShift) != 0) {
        mask |= ShiftMask;
    }
    if ((modifierFlags & kHotkeyControl) != 0) {
        mask |= ControlMask;
    }
    if ((modifierFlags & kHotkeyAlt) != 0) {
        mask |= Mod1Mask;
    }
    if ((modifierFlags & kHotkeyWin) != 0) {
        mask |= Mod4Mask;
    }
    return mask;
}

}  // namespace lumivox::platform
