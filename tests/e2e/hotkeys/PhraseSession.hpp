#pragma once
// The body both Wayland desktops' phrase tests share: the host copied something
// before; phrase 3 sent twice (by the desktop's key or `lumivox --phrase 3`)
// arrives whole once each time, and the host's clipboard text comes back after each.
#include <chrono>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/hotkeys/TextArrives.hpp"
#include "tests/e2e/hotkeys/WaylandChatBoxes.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

struct PhraseSession {
    std::function<CommandResult(const std::string&)> run;  // a shell command in the session
    std::function<int()> sendPhrase3;                        // its status
    std::function<std::string()> boxText, log;
};

inline void expectEachPhraseOnceAndTheClipboardBack(const PhraseSession& session) {
    using namespace std::chrono_literals;
    auto clipboard = [&] { return session.run("timeout 5 wl-paste -n").output; };
    ASSERT_EQ(session.run("printf 'earlier text' | wl-copy").status, 0);
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "earlier text"; }, 10s));
    std::string sent;
    for (int press = 1; press <= 2; ++press) {
        SCOPED_TRACE("phrase " + std::to_string(press));
        ASSERT_EQ(session.sendPhrase3(), 0);
        sent += kSent3;
        expectTextArrivesOnce(session.boxText, sent, 500ms, session.log);
        // Back once the chat box is surely done with the phrase.
        EXPECT_TRUE(waitUntil([&] { return clipboard() == "earlier text"; }, 5s)) << clipboard();
    }
}

}  // namespace lumivox::testing
