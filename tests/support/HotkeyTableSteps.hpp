#pragma once
// Steps against a platform hotkey table (register or remove, and the answer
// expected), run in order with each step named in a failure. Header only: the
// tests of each route run the same kinds of steps with keys of their own.
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

template <std::size_t N>
void runHotkeySteps(platform::GlobalHotkeys& hotkeys, const HotkeyStep (&steps)[N]) {
    for (const HotkeyStep& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.add ? hotkeys.registerHotkey(step.identifier, step.flags, step.key)
                           : hotkeys.unregisterHotkey(step.identifier),
                  step.result);
    }
}

}  // namespace lumivox::testing
