#pragma once
// Steps against a platform hotkey table (register or remove, and the answer
// expected), run in order with each step named in a failure. Header only: every
// route's table (X11 key grabs, KDE's shortcut service) answers the same steps.
#include <gtest/gtest.h>

#include "platform/GlobalHotkeys.hpp"

namespace lumivox::testing {

struct HotkeyStep {
    const char* what;
    bool add;  // register; otherwise remove
    int identifier;
    unsigned flags;
    int key;
    bool result;
};

// What is refused and what is given back, with `freeKey` free and `heldKey` held
// by another program. Afterwards identifiers 6 (`freeKey`) and 3 (`freeKey` with
// Ctrl) are registered.
inline void runHotkeyTableSteps(platform::GlobalHotkeys& hotkeys, int freeKey, int heldKey) {
    const HotkeyStep steps[] = {
        {"a free key", true, 1, 0, freeKey, true},
        {"the same key again, another identifier", true, 2, 0, freeKey, false},
        {"the same key with Ctrl", true, 3, platform::kHotkeyControl, freeKey, true},
        {"an identifier in use", true, 3, platform::kHotkeyShift, freeKey, false},
        {"a key another program holds", true, 4, 0, heldKey, false},
        {"a code that names no key", true, 5, 0, 0xFF, false},
        {"removing a refused one", false, 2, 0, 0, false},
        {"removing a registered one", false, 1, 0, 0, true},
        {"its key is ours again", true, 6, 0, freeKey, true},
        {"removing twice", false, 1, 0, 0, false},
    };
    for (const HotkeyStep& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.add ? hotkeys.registerHotkey(step.identifier, step.flags, step.key)
                           : hotkeys.unregisterHotkey(step.identifier),
                  step.result);
    }
}

}  // namespace lumivox::testing
