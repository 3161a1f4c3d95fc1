#pragma once
// The three page tabs of the main window. Each shows its page first, then hides
// the other two; nothing else changes.
#include "forms/Window.hpp"

namespace lumivox {

void showHotkeyPage(Window& window);
void showBuiltinSoundPage(Window& window);
void showCustomSongPage(Window& window);

}  // namespace lumivox
