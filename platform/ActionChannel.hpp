#pragma once
// Actions handed from a command line to the copy of the program that already runs
// for the same user (a desktop's own shortcut running `lumivox --phrase 3`).
#include <functional>
#include <string>

namespace lumivox::platform {

enum class ActionDelivery {
    Delivered,      // the running copy took the action
    NoRunningCopy,  // no copy of the program runs for this user
    Refused,        // a copy runs and refused the action (the reply says why)
};

// Hands one action line to the running copy and waits briefly for its answer.
ActionDelivery sendActionToRunningCopy(const std::string& action, std::string& reply);

// Starts taking actions from other processes of this user. `accepts` is asked on
// a worker thread whether a line is an action at all (the sender's answer);
// `perform` then runs each accepted line on the GUI thread. False when another
// copy already takes them or no channel could be opened.
bool startActionListener(std::function<bool(const std::string&)> accepts,
                         std::function<void(const std::string&)> perform);
// Stops taking actions and removes the channel; waits for the worker.
void stopActionListener();

// Where the channel lives (for messages).
std::string actionChannelName();

}  // namespace lumivox::platform
