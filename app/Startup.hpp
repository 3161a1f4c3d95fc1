#pragma once
// From process start to the main window waiting for the host, and the data
// folder that both settings files live in.
#include <string_view>

#include "app/EventWiring.hpp"
#include "base/Types.hpp"
#include "forms/Window.hpp"

namespace lumivox {

// The platform's data folder (`$XDG_CONFIG_HOME/Lumivox` on Linux, "D:\\Lumivox"
// or the roaming application data on Windows), as a GBK text.
Text dataFolder();
// A file of the data folder; `name` is UTF-8 as in the source.
Text dataFilePath(std::string_view name);

inline constexpr std::string_view kCustomSongsFile = "自定义配置.txt";
inline constexpr std::string_view kHotkeyPhrasesFile = "快捷键配置.txt";

// The main window's created event: makes the data folder when missing (and the
// configuration folder above it, private to the user, on a new account), puts
// both settings files into their text stores, and then runs the loaders of the
// non-empty ones, with the program's start-up steps or the given ones.
void onMainWindowCreated(Window& window);
void onMainWindowCreated(Window& window, const StartupSteps& steps);

// The start-up sequence once the form runtime exists: the program's folder as
// current directory, the update's download objects, then the window of
// `mainLayout` (created event included). Returns 0 when the window is up;
// otherwise shows the start-up failure box and returns -1, the exit code.
int startProgram(Forms& forms, std::string_view mainLayout,
                 const StartupSteps& steps = startupSteps());

// Makes the folder of the running executable the current directory.
void enterProgramFolder();

}  // namespace lumivox
