// A phrase into a GTK 3 chat box on X11 while other programs keep reading the
// clipboard (a clipboard manager, readers that take a byte and go): the closing
// Enter waits for the chat box's own fetch, not for theirs, so every phrase
// arrives whole and in order. GTK goes on with the keys while it fetches: an
// Enter sent after another program's read lands before the text.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "base/Encoding.hpp"
#include "tests/e2e/hotkeys/TextArrives.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kPhrase = "第三句 while others read";

TEST(X11Readers, ClosingEnterWaitsForTheFocusedWindowsOwnFetch) {
    PrivateDisplay xvfb;
    ASSERT_TRUE(xvfb.ok());
    TempDir config, work, box;
    fs::create_directories(config / "Lumivox");
    std::string phrases;
    for (int n = 1; n <= 12; ++n) {
        phrases += (n == 3 ? utf8ToGbk(kPhrase) : "p" + std::to_string(n)) +
                   "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";
    }
    std::ofstream(config / "Lumivox" / "快捷键配置.txt", std::ios::binary) << phrases;
    auto env = xvfb.environment();
    env["XDG_CONFIG_HOME"] = config.path().string();
    Subprocess program({(binaryDir() / "lumivox").string()}, env, work / "out.txt",
                       work / "err.txt");
    ASSERT_TRUE(waitUntil([&] { return xvfb.geometry("LumivoxV1.0").viewable; }, 60s));
    env["GDK_BACKEND"] = "x11";
    Subprocess chat({"/usr/bin/python3", (sourceDir() / "tests/e2e/hotkeys/gtk_phrase_target.py").string(),
                     box.path().string()},
                    env, work / "box-out.txt", work / "box-err.txt");
    ASSERT_TRUE(waitUntil([&] { return xvfb.geometry("GtkPhraseTarget").viewable; }, 60s));
    xvfb.x("xdotool search --name '^GtkPhraseTarget$' windowmove 970 0 windowfocus --sync");
    // Three programs reading the clipboard over and over, a byte each time.
    std::vector<std::unique_ptr<Subprocess>> readers;
    for (int k = 0; k < 3; ++k) {
        readers.push_back(std::make_unique<Subprocess>(
            std::vector<std::string>{
                "sh", "-c",
                "while :; do xclip -selection clipboard -o 2>/dev/null | head -c 1 >/dev/null; done"},
            env));
    }
    const auto log = [&] {
        return "program: " + wholeFile(work / "err.txt") + "\nkeys: " + wholeFile(box / "keys.log");
    };
    std::string expected;
    for (int press = 0; press < 8; ++press) {
        ASSERT_EQ(runCommand("DISPLAY=" + xvfb.display() + " XDG_RUNTIME_DIR=" +
                             env["XDG_RUNTIME_DIR"] + " " + (binaryDir() / "lumivox").string() +
                             " --phrase 3")
                      .status,
                  0);
        expected += "\n" + kPhrase + "\n";
        SCOPED_TRACE("press " + std::to_string(press + 1));
        expectTextArrivesOnce([&] { return wholeFile(box / "text.txt"); }, expected, 300ms, log);
        if (wholeFile(box / "text.txt") != expected) {
            break;
        }
    }
}

}  // namespace
}  // namespace lumivox::testing
