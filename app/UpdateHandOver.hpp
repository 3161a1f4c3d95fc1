#pragma once
// An update's new build gets this copy's hotkeys and, where there is one, its
// action channel: the update lets go of them before it starts the new build (and
// takes them back when it cannot be started). Set once at start-up.
#include <functional>
#include <string_view>

#include "forms/Window.hpp"

namespace lumivox {

// `stopChannel` and `startChannel` let go of and take back the action channel
// (empty where the program has none); both are called off the GUI thread.
void handOverToUpdates(Forms& forms, std::string_view mainLayout,
                       std::function<void()> stopChannel, std::function<void()> startChannel);

}  // namespace lumivox
