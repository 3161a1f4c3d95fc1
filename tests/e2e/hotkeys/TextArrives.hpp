#pragma once
// What a chat box shows after a phrase: the whole text in time, and nothing more
// after it (a phrase sent twice would show only a moment later).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

inline void expectTextArrivesOnce(const std::function<std::string()>& shown,
                                  const std::string& text, std::chrono::milliseconds quiet,
                                  const std::function<std::string()>& log) {
    EXPECT_TRUE(waitUntil([&] { return shown() == text; }, std::chrono::seconds(20)))
        << "the box shows [" << shown() << "]\n"
        << log();
    std::this_thread::sleep_for(quiet);
    EXPECT_EQ(shown(), text);
}

}  // namespace lumivox::testing
