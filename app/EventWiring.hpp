#pragma once
// The binding of control events to handlers, as one table, and the start-up
// steps that other subsystems supply. Plain C++: handlers of the sound board,
// the hotkeys and the online services are bound here without seeing Qt.
#include <functional>
#include <vector>

#include "forms/Event.hpp"

namespace lumivox {

// The program's binding of every control event to its handler.
const std::vector<Binding>& eventWiring();

// Start-up steps that other subsystems supply; an empty step is skipped.
struct StartupSteps {
    // Creates the update's download task record and idle download object.
    std::function<void()> initDownloadTask;
    // Frees them (stopping a running task) as the program ends.
    std::function<void()> releaseDownloadTask;
    // Fill the song slots and the phrase boxes from the settings texts.
    std::function<void(Window&)> loadCustomSongs;
    std::function<void(Window&)> loadHotkeyPhrases;
    // Sends the settings of lumivox.ini to the subsystems (who hears a sound).
    std::function<void()> applySettings;
};
const StartupSteps& startupSteps();

}  // namespace lumivox
