#pragma once
// Actions from outside the window: `lumivox --phrase N`, `--play N` and `--stop`
// hand their action to the copy of the program that runs for this user, which
// does what F-key N, effect button N or the stop button would do.
#include <optional>
#include <string>
#include <string_view>

#include "forms/Window.hpp"

namespace lumivox {

struct RemoteAction {
    enum class Kind { Phrase, Play, Stop } kind = Kind::Stop;
    int number = 0;  // phrase 1 to 12, effect 1 to 50
};

// The action of an action line ("phrase 3", "play 12", "stop"); none when it is none.
std::optional<RemoteAction> parseActionLine(std::string_view line);
std::string actionLine(const RemoteAction& action);

// The command line's action, handed to the running copy: the exit code (0 when it
// took it), with what went wrong on standard error. None when the command line
// names no action (the program then starts as usual). Starts no GUI.
std::optional<int> runCommandLineAction(int argc, char** argv);

// The running copy starts taking actions; they run on the GUI thread on the
// window of `mainLayout`. False when another copy of this user takes them.
bool listenForRemoteActions(Forms& forms, std::string_view mainLayout);
void stopListeningForRemoteActions();
// Takes actions as soon as it can: a copy that is leaving (the old build after
// an update) may still hold the channel for a few seconds, so a refusal is
// tried again, from the event loop, for that long. Call on the GUI thread.
void listenForRemoteActionsWhenFree(Forms& forms, std::string_view mainLayout);


}  // namespace lumivox
