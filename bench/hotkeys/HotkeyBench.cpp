// From a function key pressed to the whole phrase present in another X11
// application's text box, for a 40- and a 400-character phrase, beside
// `xdotool type` delivering the same text to the same box in the same run; and
// what a held F3 (the X server's auto-repeat, for one second) sends.
//
// The key is pressed through XTest on a connection of our own; the target notes
// the monotonic time of every change of its text, so both sides are measured to
// the same moment: the text box holding the phrase.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <thread>

#include "bench/hotkeys/PhraseTiming.hpp"
#include "platform/linux/qt/X11Keyboard.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace {

using namespace lumivox::bench;

const std::string kSeparator = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";

// ASCII words, `length` characters.
std::string phraseOf(std::size_t length) {
    const std::string words = "hello chat welcome to the stream thanks for the follow ";
    std::string phrase;
    while (phrase.size() < length) {
        phrase += words[phrase.size() % words.size()];
    }
    return phrase;
}

class Bench {
  public:
    Bench() : xvfb_(1280, 1024) {}

    bool start(const std::vector<std::string>& phrases) {
        if (!xvfb_.ok()) {
            return false;
        }
        fs::create_directories(config_ / "Lumivox");
        std::string file;
        for (const std::string& phrase : phrases) {
            file += phrase + kSeparator;
        }
        std::ofstream(config_ / "Lumivox" / "快捷键配置.txt", std::ios::binary) << file;
        env_ = xvfb_.environment();
        env_["XDG_CONFIG_HOME"] = config_.path().string();
        program_ = std::make_unique<Subprocess>(std::vector<std::string>{LUMIVOX_PROGRAM}, env_,
                                                "/dev/null", "/dev/null");
        target_ = std::make_unique<Subprocess>(
            std::vector<std::string>{PHRASE_TARGET, targetDir_.path().string()}, env_, "/dev/null",
            "/dev/null");
        if (!waitUntil([&] { return !windowId("LumivoxV1.0").empty(); }, 60s) ||
            !waitUntil([&] { return !windowId("PhraseTarget").empty(); }, 60s)) {
            return false;
        }
        connection_ = xcb_connect(xvfb_.display().c_str(), nullptr);
        return xcb_connection_has_error(connection_) == 0;
    }
    ~Bench() {
        if (connection_ != nullptr) {
            xcb_disconnect(connection_);
        }
    }

    std::string x(const std::string& command) {
        return runCommand("DISPLAY=" + xvfb_.display() + " " + command + " 2>/dev/null").output;
    }
    std::string windowId(const std::string& name) {
        const std::string ids = x("xdotool search --name '" + name + "'");
        return ids.substr(0, ids.find('\n'));
    }
    void click(int left, int top) {
        const std::string geometry =
            x("xdotool getwindowgeometry --shell " + windowId("LumivoxV1.0"));
        std::smatch m;
        if (std::regex_search(geometry, m, std::regex(R"(X=(\d+)\nY=(\d+))"))) {
            x("xdotool mousemove " + std::to_string(std::stoi(m[1]) + left) + " " +
              std::to_string(std::stoi(m[2]) + top) + " click 1");
        }
    }
    bool clickAndConfirm(int left, int top) {
        click(left, top);
        if (!waitUntil([&] { return !windowId("温馨提示：").empty(); }, 30s)) {
            return false;
        }
        x("xdotool windowfocus --sync " + windowId("温馨提示：") + " key Return");
        return waitUntil([&] { return windowId("温馨提示：").empty(); }, 30s);
    }
    void focusTarget() { x("xdotool windowfocus --sync " + windowId("PhraseTarget")); }

    std::size_t textBytes() {
        const auto list = changes(targetDir_.path());
        return list.empty() ? 0 : list.back().second;
    }
    std::string text() { return wholeFile(targetDir_ / "text.txt"); }
    std::string keys() { return wholeFile(targetDir_ / "keys.log"); }
    long long reached(std::size_t bytes, long long since) {
        return lumivox::bench::reached(targetDir_.path(), bytes, since, 30s);
    }

    void key(xcb_keysym_t keysym, bool down) {
        const xcb_keycode_t keycode =
            lumivox::platform::x11::KeyboardMap(connection_).keycodeFor(keysym);
        xcb_test_fake_input(connection_, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection_);
    }

    // Milliseconds from the key press to the phrase present (Enter and the
    // pasted phrase in the box); -1 when it did not arrive.
    double hotkey(xcb_keysym_t keysym, const std::string& phrase) {
        const std::size_t before = textBytes();
        const long long start = nowNs();
        key(keysym, true);
        key(keysym, false);
        const long long done = reached(before + 1 + phrase.size(), start);
        // Let the closing Enter land before the next measurement.
        reached(before + 2 + phrase.size(), start);
        if (done < 0 || !waitUntil([&] { return text().find(phrase) != std::string::npos; }, 5s)) {
            return -1;
        }
        return static_cast<double>(done - start) / 1e6;
    }

    // The same for `xdotool type`, from starting it.
    double xdotoolType(const std::string& phrase, const std::string& options) {
        const std::size_t before = textBytes();
        const long long start = nowNs();
        x("xdotool type " + options + " '" + phrase + "'");
        const long long done = reached(before + phrase.size(), start);
        if (done < 0 || !waitUntil([&] { return text().ends_with(phrase); }, 5s)) {
            return -1;
        }
        return static_cast<double>(done - start) / 1e6;
    }

    fs::path settingsFile() const { return config_ / "Lumivox" / "快捷键配置.txt"; }

  private:
    PrivateDisplay xvfb_;
    TempDir config_, targetDir_;
    std::map<std::string, std::string> env_;
    std::unique_ptr<Subprocess> program_, target_;
    xcb_connection_t* connection_ = nullptr;
};

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string short40 = phraseOf(40), long400 = phraseOf(400);
    const std::string held = "held key phrase";
    std::vector<std::string> phrases(12, "p");
    phrases[0] = short40;
    phrases[1] = long400;
    phrases[2] = held;
    Bench bench;
    if (!bench.start(phrases)) {
        std::fprintf(stderr, "could not start the program and the target\n");
        return 1;
    }
    bench.click(58, 94);  // the hotkey page
    if (!bench.clickAndConfirm(416, 560)) {
        std::fprintf(stderr, "the switch-on message did not come\n");
        return 1;
    }
    bench.focusTarget();

    struct Row {
        const char* name;
        const std::string& phrase;
        xcb_keysym_t key;
    };
    const Row rows[] = {{"40 characters", short40, XK_F1}, {"400 characters", long400, XK_F2}};
    for (const Row& row : rows) {
        std::vector<double> hotkey, typed, typedNoDelay;
        for (int i = 0; i < runs; ++i) {
            hotkey.push_back(bench.hotkey(row.key, row.phrase));
        }
        for (int i = 0; i < std::max(1, runs / 3); ++i) {
            typed.push_back(bench.xdotoolType(row.phrase, ""));
            typedNoDelay.push_back(bench.xdotoolType(row.phrase, "--delay 0"));
        }
        if (std::count(hotkey.begin(), hotkey.end(), -1.0) +
                std::count(typed.begin(), typed.end(), -1.0) >
            0) {
            std::fprintf(stderr, "%s: a phrase did not arrive whole\n", row.name);
            return 1;
        }
        const double h = median(hotkey), t = median(typed), t0 = median(typedNoDelay);
        std::printf("hotkey phrase %s: median %.2f ms, max %.2f ms (%d runs)\n", row.name, h,
                    *std::max_element(hotkey.begin(), hotkey.end()), runs);
        std::printf("xdotool type %s: median %.2f ms (default 12 ms key delay)\n", row.name, t);
        std::printf("xdotool type --delay 0 %s: median %.2f ms\n", row.name, t0);
        std::printf("ratio xdotool type / hotkey %s: %.1f (--delay 0: %.1f)\n", row.name, t / h,
                    t0 / h);
    }

    // F3 held for one second. Xvfb does not repeat a key held through XTest (and
    // XTest drops a press of a key that is down), so the repeats come from here
    // at the usual X server timing (first after 660 ms, then 25 a second), as a
    // core client that has not asked for detectable auto-repeat sees them: a
    // release and a press.
    const std::string before = bench.text();
    const std::string keysBefore = bench.keys();
    const std::string settingsBefore = wholeFile(bench.settingsFile());
    const auto savedBefore = fs::last_write_time(bench.settingsFile());
    const auto held0 = std::chrono::steady_clock::now();
    int presses = 0;
    bench.key(XK_F3, true);
    ++presses;
    for (auto at = 660ms; at <= 1000ms; at += 40ms) {
        std::this_thread::sleep_until(held0 + at);
        bench.key(XK_F3, false);
        bench.key(XK_F3, true);
        ++presses;
    }
    std::this_thread::sleep_until(held0 + 1000ms);
    bench.key(XK_F3, false);
    std::this_thread::sleep_for(2000ms);
    const std::string after = bench.text().substr(before.size());
    std::printf(
        "F3 held 1 s (%d presses with the repeats): %d phrases sent, %d lines, "
        "%d presses of F3 reached the target as a key\n",
        presses, countOf(after, held), countOf(after, "\n"),
        countOf(bench.keys().substr(keysBefore.size()), "F3\n"));
    // Our own window: saving now writes what the boxes hold; a phrase that had
    // gone into our window would show there.
    bench.click(312, 560);
    const bool saved =
        waitUntil([&] { return fs::last_write_time(bench.settingsFile()) != savedBefore; }, 10s);
    std::printf("phrase boxes unchanged after the held key: %s\n",
                !saved                                             ? "unknown (no save)"
                : wholeFile(bench.settingsFile()) == settingsBefore ? "yes"
                                                                   : "no");
    return 0;
}
