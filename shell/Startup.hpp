#pragma once
// From process start to the main window waiting for the host, and the data
// folder that both settings files live in.
#include "shell/Window.hpp"
#include "util/Types.hpp"

namespace lumivox {

// `$XDG_CONFIG_HOME/Lumivox` (default `~/.config/Lumivox`), as a GBK text.
Text dataFolder();
// A file of the data folder; `name` is UTF-8 as in the source.
Text dataFilePath(std::string_view name);

inline constexpr std::string_view kCustomSongsFile = "自定义配置.txt";
inline constexpr std::string_view kHotkeyPhrasesFile = "快捷键配置.txt";

// The main window's created event: makes the data folder when missing, puts both
// settings files into their text stores, and runs the loaders of non-empty ones.
void onMainWindowCreated(Window& window);

}  // namespace lumivox
