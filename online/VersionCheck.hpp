#pragma once
// The version check a second after start: the main window's 时钟1 counts 100
// ticks on the hidden 进度条1, then the version file is read from the maker's
// server and either the program runs on, the update window opens, or it ends.
#include "forms/Window.hpp"

namespace lumivox::online {

void onStartupTimerTick(Window& mainWindow);
void runVersionCheck(Window& mainWindow);

}  // namespace lumivox::online
