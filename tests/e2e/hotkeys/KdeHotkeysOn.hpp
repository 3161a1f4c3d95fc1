#pragma once
// The program's hotkeys switched on under a headless KWin, as the host does it:
// the hotkey page, its switch-on, and OK on the message it shows (clicks at the
// laid-out places of the window's client area, through the portal).
#include <cstdio>
#include <string>

#include "tests/support/HeadlessKwin.hpp"

namespace lumivox::testing {

inline bool switchHotkeysOn(HeadlessKwin& kwin) {
    using namespace std::chrono_literals;
    if (!waitUntil([&] { return kwin.focusedTitle() == "LumivoxV1.0"; }, 30s)) {
        return false;
    }
    const std::string client = kwin.evaluate(
        "workspace.activeClient.bufferGeometry.x + ' ' + workspace.activeClient.bufferGeometry.y");
    int left = 0, top = 0;
    if (std::sscanf(client.c_str(), "%d %d", &left, &top) != 2) {
        return false;
    }
    auto at = [&](int x, int y) {
        return "home move " + std::to_string(left + x) + " " + std::to_string(top + y) + " click";
    };
    return kwin.input(at(58, 94) + " wait 0.5 " + at(416, 560) + " wait 1") == 0 &&
           waitUntil([&] { return kwin.focusedTitle() == "温馨提示："; }, 10s) &&
           kwin.input("key 28") == 0;  // Enter: OK
}

}  // namespace lumivox::testing
