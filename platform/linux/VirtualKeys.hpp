#pragma once
// Virtual-key codes (the program's key numbers) against X keysyms, and hotkey
// modifier flags against X modifier masks. Pure tables: no display needed.
#include <cstdint>

namespace lumivox::platform {

// The keysym of the key a virtual-key code names, its unshifted symbol for
// letters and digits ('V' gives XK_v); 0 when the code names no key here.
std::uint32_t keysymForVirtualKey(int virtualKey);

// The virtual-key code of a key whose unshifted symbol is the keysym; -1 when
// no code names it.
int virtualKeyForKeysym(std::uint32_t keysym);

// The keysym that types a character: Latin-1 directly, the rest as Unicode keysyms.
std::uint32_t keysymForCharacter(char32_t character);

// The X modifier mask (Shift 1, Control 4, Mod1 for Alt, Mod4 for Win) of the
// hotkey modifier flags; bits without an X counterpart are dropped.
std::uint16_t modifierMaskForFlags(unsigned modifierFlags);

}  // namespace lumivox::platform
