#pragma once
// The program's hotkeys switched on and off under a headless KWin, as the host
// does it: the hotkey page, its switch, and OK on the message it shows (clicks at
// the laid-out places of the window's client area, through the portal).
#include <cstdio>
#include <string>

#include "tests/support/HeadlessKwin.hpp"

namespace lumivox::testing {

// Clicks the hotkey page's tab, then the button at `buttonX` of the bottom row,
// and OK on the message the program shows.
inline bool clickHotkeyButton(HeadlessKwin& kwin, int buttonX) {
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
    return kwin.input(at(58, 94) + " wait 0.5 " + at(buttonX, 560) + " wait 1") == 0 &&
           waitUntil([&] { return kwin.focusedTitle() == "温馨提示："; }, 10s) &&
           kwin.input("key 28") == 0;  // Enter: OK
}

inline bool switchHotkeysOn(HeadlessKwin& kwin) {
    return clickHotkeyButton(kwin, 416);
}

// The program's window must be the active one (`focus` below).
inline bool switchHotkeysOff(HeadlessKwin& kwin) {
    return clickHotkeyButton(kwin, 520);
}

// Gives the keyboard focus to the window with this caption.
inline bool focus(HeadlessKwin& kwin, const std::string& caption) {
    using namespace std::chrono_literals;
    kwin.evaluate("workspace.activeClient = workspace.clientList().find(c => c.caption == '" +
                  caption + "'), 1");
    return waitUntil([&] { return kwin.focusedTitle() == caption; }, 10s);
}

}  // namespace lumivox::testing
