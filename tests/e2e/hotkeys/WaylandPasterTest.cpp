// The Wayland paster in this process, on a private headless sway, against what
// other programs do to the clipboard while a phrase holds it: a reader that
// closes its end early, one that never drains a long phrase, the host copying
// something newer, or an earlier clipboard that holds no text at all. No window
// has the focus: the phrase's keys go nowhere, the clipboard is what is looked at.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/linux/wayland/WaylandPaster.hpp"
#include "tests/support/HeadlessSway.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

using namespace std::chrono_literals;
using platform::wayland::WaylandPaster;

class WaylandPasterClipboard : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.ok()) << sway_.log();
        for (const auto& [key, value] : sway_.environment()) {
            if (key == "WAYLAND_DISPLAY" || key == "XDG_RUNTIME_DIR") {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
        paster_ = std::make_unique<WaylandPaster>([](const std::string&) {});
        ASSERT_TRUE(paster_->canPaste());
    }
    void TearDown() override {
        // The end of the program: it must not wait on any reader.
        auto ended = std::async(std::launch::async, [&] { paster_.reset(); });
        if (ended.wait_for(20s) != std::future_status::ready) {
            ADD_FAILURE() << "the paster's end waits on a reader";
            std::_Exit(1);  // the worker would hold the test for good
        }
    }

    std::string clipboard(const std::string& type = "") {
        return sway_.run("timeout 5 wl-paste -n" + (type.empty() ? "" : " -t " + type)).output;
    }
    std::string types() { return sway_.run("timeout 5 wl-paste -l").output; }
    void copy(const std::string& text, const std::string& type = "") {
        ASSERT_EQ(sway_.run("printf %s " + shellQuoted(text) + " | wl-copy" +
                            (type.empty() ? "" : " -t " + type))
                      .status,
                  0);
    }

    HeadlessSway sway_;
    std::unique_ptr<WaylandPaster> paster_;
};

const std::string kLongPhrase(4 << 20, 'x');

TEST_F(WaylandPasterClipboard, ReadersThatCloseEarlyDoNotEndTheProgram) {
    paster_->pastePhrase(kLongPhrase);
    // Readers that take one byte and go, while the phrase is on the clipboard: the
    // paster's next write meets a closed pipe.
    const auto until = std::chrono::steady_clock::now() + 4s;
    int early = 0;
    while (std::chrono::steady_clock::now() < until) {
        early += sway_.run("timeout 5 wl-paste -n | head -c 1").output == "x";
    }
    EXPECT_GT(early, 0) << "no reader met the phrase";

    // The paster still works: the next phrase reaches the clipboard.
    paster_->pastePhrase("after the early readers");
    EXPECT_TRUE(waitUntil([&] { return clipboard() == "after the early readers"; }, 5s))
        << clipboard();

}

TEST_F(WaylandPasterClipboard, AReaderThatNeverDrainsHoldsNeitherPhrasesNorTheEnd) {
    paster_->pastePhrase(kLongPhrase);
    ASSERT_TRUE(waitUntil([&] { return clipboard().size() == kLongPhrase.size(); }, 10s));
    ASSERT_EQ(sway_.run("(timeout 60 wl-paste -n | sleep 60) >/dev/null 2>&1 &").status, 0);
    // The next phrase is not held up behind it.
    std::this_thread::sleep_for(500ms);
    paster_->pastePhrase("after the stuck reader");
    EXPECT_TRUE(waitUntil([&] { return clipboard() == "after the stuck reader"; }, 10s))
        << clipboard();
    // A second stuck reader, left running as the program ends (TearDown).
    paster_->pastePhrase(kLongPhrase);
    ASSERT_TRUE(waitUntil([&] { return clipboard().size() == kLongPhrase.size(); }, 10s));
    ASSERT_EQ(sway_.run("(timeout 60 wl-paste -n | sleep 60) >/dev/null 2>&1 &").status, 0);
    std::this_thread::sleep_for(200ms);
}

TEST_F(WaylandPasterClipboard, NewerCopyAfterThePhraseIsKept) {
    copy("earlier text");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "earlier text"; }, 5s));
    paster_->pastePhrase("the phrase");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "the phrase"; }, 5s));
    copy("copied by the host just after");
    std::this_thread::sleep_for(3s);  // past the moment the earlier text would come back
    EXPECT_EQ(clipboard(), "copied by the host just after");

    // With nothing newer, the host's clipboard comes back.
    paster_->pastePhrase("another phrase");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "another phrase"; }, 5s));
    EXPECT_TRUE(waitUntil([&] { return clipboard() == "copied by the host just after"; }, 5s))
        << clipboard();
}

TEST_F(WaylandPasterClipboard, AClipboardWithoutTextComesBackWhole) {
    const std::string picture = "\x89PNG\r\n\x1a\n-not-text-at-all-";
    copy(picture, "image/png");
    ASSERT_TRUE(waitUntil([&] { return types() == "image/png\n"; }, 5s)) << types();
    paster_->pastePhrase("the phrase");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "the phrase"; }, 5s));
    EXPECT_TRUE(waitUntil([&] { return types() == "image/png\n"; }, 5s)) << types();
    EXPECT_EQ(clipboard("image/png"), picture);
}

}  // namespace
}  // namespace lumivox::testing
