#include <gtest/gtest.h>

#include <QApplication>

#include <future>

#include "base/Encoding.hpp"
#include "platform/SystemOps.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

// Reads the CLIPBOARD selection with xclip while this process keeps serving it.
std::string readClipboardWithXclip() {
    auto reader = std::async(std::launch::async, [] {
        return testing::runCommand("timeout 10 xclip -o -selection clipboard 2>/dev/null").output;
    });
    while (reader.wait_for(10ms) != std::future_status::ready) {
        QApplication::processEvents();
    }
    return reader.get();
}

TEST(Clipboard, PutsGbkTextOnTheRealClipboardAsUnicode) {
    struct Case {
        Text text;
        std::string expected;
    };
    const Case cases[] = {
        {utf8ToGbk("大家好，欢迎来到直播间！"), "大家好，欢迎来到直播间！"},
        {utf8ToGbk("line1\nline2 \xF0\x9F\x8E\x89"), "line1\nline2 \xF0\x9F\x8E\x89"},
        {"", ""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(setClipboardText(c.text));
        EXPECT_EQ(readClipboardWithXclip(), c.expected);
    }
}

}  // namespace
}  // namespace lumivox

int main(int argc, char** argv) {
    // A private X server, so the real CLIPBOARD selection is used.
    lumivox::testing::PrivateDisplay display;
    for (const auto& [key, value] : display.environment()) {
        setenv(key.c_str(), value.c_str(), 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
