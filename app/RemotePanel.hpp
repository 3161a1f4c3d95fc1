#pragma once
// The remote panel in the program: the server started from `[remote]` of
// lumivox.ini, the board it acts on (the main window's effects, song slots and
// phrases, each action handed to the GUI thread as a click would run), and the
// events the panel shows (what plays, captions), looked for on the GUI thread.
#include <string>
#include <string_view>

#include "forms/Window.hpp"

namespace lumivox {

// GUI thread. Starts, restarts or stops the server as the settings store says
// now; at start-up and after every change from the settings window. Never waits
// for a server thread. False when the panel is on and could not listen (then
// `remotePanelProblem` says why).
bool applyRemoteSettings(Forms& forms, std::string_view mainLayout);
// At start-up: the same, tried again for a few seconds while the port is still
// held by the copy that an update replaces (it ends just after starting us).
void applyRemoteSettingsWhenFree(Forms& forms, std::string_view mainLayout);

// What the settings window shows: the panel's link with the token in its
// fragment (the network address when it listens there), empty while it is off.
std::string remotePanelLink();
// Why the panel that is on does not listen, empty when it does.
std::string remotePanelProblem();

// At the program's end, after the GUI thread has stopped taking work: stops the
// server and waits for its threads.
void endRemotePanel();

}  // namespace lumivox
