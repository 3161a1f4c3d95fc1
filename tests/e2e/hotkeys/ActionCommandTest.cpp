// `lumivox --phrase N`, `--play N` and `--stop` from a shell: with no copy of the
// program running, with a bad number, and with copies of two users on one
// machine, each with its own sound server, where each command reaches its own.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/SoundRecording.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kLoud = 1500;
constexpr uid_t kOtherUser = 65534;

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// A command line as `user` (this process's own when it is no other), with a
// private runtime folder; its status and standard error. A command that hangs
// is ended after a minute, with status 124.
constexpr int kHung = 124;
CommandResult lumivoxAs(uid_t user, const fs::path& runtime, const std::string& arguments) {
    const std::string as = user == geteuid() ? ""
                                             : "setpriv --reuid=" + std::to_string(user) +
                                                   " --regid=" + std::to_string(user) +
                                                   " --clear-groups ";
    return runCommand("env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=" +
                      quoted(runtime.string()) + " timeout -k 5 60 " + as +
                      quoted((binaryDir() / "lumivox").string()) + " " + arguments + " 2>&1");
}

struct BadCommand {
    const char* arguments;
    int status;
    const char* says;
};

TEST(ActionCommand, WithNoRunningCopyOrABadNumberItSaysSoAndFails) {
    TempDir runtime;
    // A socket left behind by a copy that ended without removing it answers nobody.
    const std::string stale = (runtime / "lumivox-actions.socket").string();
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, stale.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);

    const BadCommand cases[] = {
        {"--phrase 3", 1, "not running"},
        {"--play 50", 1, "not running"},
        {"--stop", 1, "not running"},
        {"--phrase 0", 2, "usage"},
        {"--phrase 13", 2, "usage"},
        {"--phrase", 2, "usage"},
        {"--play 51", 2, "usage"},
        {"--play 5x", 2, "usage"},
        {"--play -1", 2, "usage"},
        {"--stop 1", 2, "usage"},
    };
    for (const BadCommand& bad : cases) {
        // No display at all: a command that started a GUI would fail otherwise,
        // or wait (and be ended: status 124).
        const CommandResult result = lumivoxAs(geteuid(), runtime.path(), bad.arguments);
        EXPECT_EQ(result.status, bad.status) << bad.arguments << ": " << result.output
                                             << (result.status == kHung ? " (hung)" : "");
        EXPECT_NE(result.output.find(bad.says), std::string::npos)
            << bad.arguments << ": " << result.output;
    }
}

// A running copy of one user with a sound server and a recorder of its own.
struct UserCopy {
    explicit UserCopy(uid_t user) : user(user) {
        // The other user's client reaches this server's socket (anonymous access).
        chmod(sound.runtimeDir().c_str(), 0711);
        chmod((sound.runtimeDir() / "pulse-native").c_str(), 0777);
        sound.useInThisProcess();
        recorder = std::make_unique<SoundRecorder>();
        for (const fs::path& folder : {runtime.path(), config.path()}) {
            (void)!chown(folder.c_str(), user, user);
        }
        auto env = sound.environment();
        env["XDG_RUNTIME_DIR"] = runtime.path().string();
        env["XDG_CONFIG_HOME"] = config.path().string();
        env["HOME"] = config.path().string();
        env["QT_QPA_PLATFORM"] = "offscreen";
        env["LUMIVOX_SERVER"] = runOnVersionHost();
        std::vector<std::string> argv = {(binaryDir() / "lumivox").string()};
        if (user != geteuid()) {
            argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(user),
                                       "--regid=" + std::to_string(user), "--clear-groups", "--"});
        }
        program = std::make_unique<Subprocess>(argv, env, log.path() / "out.txt",
                                               log.path() / "err.txt");
        running = waitUntil([&] { return command("--stop").status == 0; }, 60s);
    }
    CommandResult command(const std::string& arguments) const {
        return lumivoxAs(user, runtime.path(), arguments);
    }
    bool soundsWithin(std::size_t from, std::chrono::milliseconds limit) const {
        return recorder->waitForLoud(from, kLoud, limit) >= 0;
    }

    uid_t user;
    PulseServer sound;
    std::unique_ptr<SoundRecorder> recorder;
    TempDir runtime, config, log;
    std::unique_ptr<Subprocess> program;
    bool running = false;
};

// One user's copy: --play is heard on its sound server, and --stop silences the
// alarm (about a minute long) within seconds, not at its end. How soon depends on
// how fast the command starts, which a loaded machine decides.
TEST(ActionCommand, PlayAndStopReachTheRunningCopyOfTheSameUser) {
    UserCopy mine(geteuid());
    ASSERT_TRUE(mine.sound.ok()) << "no private sound server";
    ASSERT_TRUE(mine.recorder->ok()) << "parec did not start";
    ASSERT_TRUE(mine.running) << wholeFile(mine.log / "err.txt");

    ASSERT_GE(mine.recorder->waitForQuiet(mine.recorder->sampleCount(), kLoud / 4,
                                          static_cast<std::size_t>(kRecordRate / 4), 20s),
              0);
    const std::size_t heard = mine.recorder->sampleCount();
    const CommandResult played = mine.command("--play 3");
    ASSERT_EQ(played.status, 0) << played.output;
    EXPECT_TRUE(mine.soundsWithin(heard, 5s));

    ASSERT_EQ(mine.command("--play 49").status, 0);
    ASSERT_TRUE(mine.soundsWithin(mine.recorder->sampleCount(), 5s));
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(mine.command("--stop").status, 0);
    const std::size_t mark = mine.recorder->sampleCount();
    const long quiet = mine.recorder->waitForQuiet(
        mark, kLoud / 4, static_cast<std::size_t>(kRecordRate / 2), 10s);
    ASSERT_GE(quiet, 0) << "still sounding 10 s after --stop";
}

// Two users' copies on one machine: each user's command plays on that user's
// copy only, and root reaching into the other user's runtime folder is refused
// there. Starting a second user's copy needs root: elsewhere this case skips.
TEST(ActionCommand, EachUsersCommandReachesOnlyThatUsersCopy) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "a second user's copy needs root to start it";
    }
    UserCopy mine(geteuid()), theirs(kOtherUser);
    ASSERT_TRUE(mine.sound.ok() && theirs.sound.ok()) << "no private sound server";
    ASSERT_TRUE(mine.recorder->ok() && theirs.recorder->ok()) << "parec did not start";
    ASSERT_TRUE(mine.running) << wholeFile(mine.log / "err.txt");
    ASSERT_TRUE(theirs.running) << wholeFile(theirs.log / "err.txt");

    for (UserCopy* player : {&mine, &theirs}) {
        UserCopy* other = player == &mine ? &theirs : &mine;
        for (UserCopy* copy : {&mine, &theirs}) {
            ASSERT_GE(copy->recorder->waitForQuiet(copy->recorder->sampleCount(), kLoud / 4,
                                                   static_cast<std::size_t>(kRecordRate / 4), 20s),
                      0);
        }
        const std::size_t heard = player->recorder->sampleCount();
        const std::size_t unheard = other->recorder->sampleCount();
        const CommandResult result = player->command("--play 3");
        ASSERT_EQ(result.status, 0) << result.output;
        EXPECT_TRUE(player->soundsWithin(heard, 5s)) << "user " << player->user;
        EXPECT_FALSE(other->soundsWithin(unheard, 1500ms)) << "user " << other->user;
    }
    const CommandResult intruder = lumivoxAs(geteuid(), theirs.runtime.path(), "--play 3");
    EXPECT_EQ(intruder.status, 1);
    EXPECT_NE(intruder.output.find("another user"), std::string::npos) << intruder.output;
}

}  // namespace
}  // namespace lumivox::testing
