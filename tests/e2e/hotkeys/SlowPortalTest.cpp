// The desktop portal's keyboard and shortcuts against a portal on a private
// session bus that answers late. The keyboard: one key call answered late (a
// desktop busy encoding a stream), and every key pressed is still let go, in the
// same session, and that session closed before the next phrase opens a new one.
// The shortcuts: a bind the desktop answers only once the host has read its
// question, and the GUI thread does not wait for it. The portal writes down every
// call it takes, so what the desktop saw is read back from its log.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <QCoreApplication>

#include "platform/linux/qt/GlobalHotkeysPortal.hpp"
#include "platform/linux/wayland/PortalKeyboard.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::wayland::PortalKeyboard;

class SlowPortal : public ::testing::Test {
  protected:
    // One private bus for the whole process: libdbus reads the session bus's
    // address once per process.
    struct Bus {
        Bus()
            : address("unix:path=" + (dir / "bus").string()),
              daemon(std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                              "--address=" + address}) {
            waitUntil([&] { return fs::exists(dir / "bus"); }, 10s);
            setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        }
        TempDir dir;
        std::string address;
        Subprocess daemon;
    };
    static Bus& bus() {
        static Bus shared;
        return shared;
    }
    // A portal that answers `slow` ("CODE:STATE:MS") late, or with other options.
    void start(const std::string& slow) { start({"--slow", slow}); }
    void start(const std::vector<std::string>& options) {
        ASSERT_TRUE(fs::exists(bus().dir / "bus"));
        std::vector<std::string> argv = {
            "/usr/bin/python3", (sourceDir() / "tests/support/remote_desktop_portal.py").string(),
            "--log", (dir_ / "portal.log").string()};
        argv.insert(argv.end(), options.begin(), options.end());
        portal_ = std::make_unique<Subprocess>(argv,
            std::map<std::string, std::string>{}, dir_ / "portal-out.txt", dir_ / "portal-err.txt");
        ASSERT_TRUE(waitUntil([&] { return calls().find("Ready") != std::string::npos; }, 20s))
            << wholeFile(dir_ / "portal-err.txt");
    }
    void TearDown() override {
        portal_.reset();
        // The name is free again before the next case's portal asks for it.
        waitUntil([] {
            return runCommand("dbus-send --session --print-reply --dest=org.freedesktop.DBus / "
                              "org.freedesktop.DBus.NameHasOwner "
                              "string:org.freedesktop.portal.Desktop")
                       .output.find("false") != std::string::npos;
        }, 10s);
    }
    std::string calls() { return wholeFile(dir_ / "portal.log"); }
    // The log's lines after "Ready", with the session path cut to its last part.
    std::vector<std::string> lines() {
        std::vector<std::string> out;
        std::istringstream in(calls());
        for (std::string line; std::getline(in, line);) {
            if (line == "Ready") {
                continue;
            }
            const auto slash = line.find('/');
            const auto last = line.rfind('/', line.find(' ', slash));
            if (slash != std::string::npos) {
                line.erase(slash, last + 1 - slash);
            }
            out.push_back(line);
        }
        return out;
    }

    TempDir dir_;
    std::unique_ptr<Subprocess> portal_;
};

// The press the portal answers late, and the releases that must follow it in the
// same session; then the closed session and a new one for the next phrase.
struct LateKey {
    const char* name;
    std::string slow;
    bool controlV;  // the phrase's Ctrl+V, else its Enter
    std::vector<std::string> keys;
};

void PrintTo(const LateKey& c, std::ostream* out) {
    *out << c.name;
}

class LateKeyPresses : public SlowPortal, public ::testing::WithParamInterface<LateKey> {};

TEST_P(LateKeyPresses, EveryPressIsReleasedAndTheSessionClosedBeforeANewOne) {
    const LateKey& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start(c.slow));
    PortalKeyboard keys([] { return false; });
    ASSERT_TRUE(keys.open()) << keys.missing();
    const std::string first = lines().at(0).substr(std::string("CreateSession ").size());

    EXPECT_FALSE(c.controlV ? keys.controlV() : keys.enter());

    // The next phrase: the failed session is closed, a new one is made and used.
    ASSERT_TRUE(keys.open()) << keys.missing();
    EXPECT_TRUE(keys.enter());

    std::vector<std::string> expected = {"CreateSession " + first, "Start " + first};
    for (const std::string& key : c.keys) {
        expected.push_back("Key " + first + " " + key);
    }
    expected.push_back("Close " + first);
    const std::vector<std::string> got = lines();
    ASSERT_GE(got.size(), expected.size() + 4) << calls();
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + expected.size()), expected)
        << calls();
    const auto next = got.begin() + static_cast<long>(expected.size());
    EXPECT_TRUE(next->starts_with("CreateSession ")) << calls();
    const std::string other = next->substr(std::string("CreateSession ").size());
    EXPECT_NE(other, first);
    EXPECT_EQ(std::vector<std::string>(next + 1, got.end()),
              (std::vector<std::string>{"Start " + other, "Key " + other + " 28 1",
                                        "Key " + other + " 28 0"}))
        << calls();
}

const auto kLeftCtrl = std::to_string(KEY_LEFTCTRL), kV = std::to_string(KEY_V),
           kEnter = std::to_string(KEY_ENTER);

INSTANTIATE_TEST_SUITE_P(
    Portal, LateKeyPresses,
    ::testing::Values(
        LateKey{"VDownLate", kV + ":1:1500", true,
                {kLeftCtrl + " 1", kV + " 1", kV + " 0", kLeftCtrl + " 0"}},
        LateKey{"CtrlDownLate", kLeftCtrl + ":1:1500", true, {kLeftCtrl + " 1", kLeftCtrl + " 0"}},
        LateKey{"CtrlUpLate", kLeftCtrl + ":0:1500", true,
                {kLeftCtrl + " 1", kV + " 1", kV + " 0", kLeftCtrl + " 0"}},
        LateKey{"EnterDownLate", kEnter + ":1:1500", false, {kEnter + " 1", kEnter + " 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Switching the hotkeys on where the desktop asks the host to confirm new keys
// (up to a minute): the GUI thread goes on at once; the keys fire once the
// desktop has bound them.
TEST_F(SlowPortal, ShortcutsBoundLaterWhileTheGuiThreadGoesOn) {
    const fs::path answered = dir_ / "host-answered";
    ASSERT_NO_FATAL_FAILURE(start({"--hold-bind", answered.string()}));
    int argc = 1;
    char name[] = "slow-portal-test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    platform::PortalGlobalHotkeys hotkeys;
    std::vector<int> fired;
    ASSERT_TRUE(hotkeys.startListening([&](int identifier) { fired.push_back(identifier); }));

    // The portal cannot have answered: the host answers only after this returns.
    EXPECT_EQ(hotkeys.registerHotkeys({{33003, 0, 0x72}}), std::vector<bool>{true});
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return calls().find("Bind ") != std::string::npos;
    }, 10s)) << calls();
    std::ofstream(answered) << "ok";
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return !fired.empty();
    }, 10s)) << calls();
    EXPECT_EQ(fired, std::vector<int>{33003});
}

}  // namespace
}  // namespace lumivox::testing
