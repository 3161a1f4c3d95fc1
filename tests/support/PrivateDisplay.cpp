#include "tests/support/PrivateDisplay.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

extern char** environ;

namespace lumivox::testing {

PrivateDisplay::PrivateDisplay(int width, int height) {
    ::chmod(runtimeDir_.path().c_str(), 0700);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return;
    }
    // Only the write end reaches the server: dup it to a descriptor without
    // close-on-exec in the child.
    constexpr int kReportFd = 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], kReportFd);
    const std::string log = (runtimeDir_.path() / "xvfb.log").string();
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(kReportFd),
                                     "-screen",   "0",          screen,
                                     "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const bool started =
        ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(report[1]);
    if (!started) {
        pid_ = -1;
        ::close(report[0]);
        return;
    }
    // The server writes its display number once it is ready for clients.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait{report[0], POLLIN, 0};
        if (::poll(&wait, 1, 200) <= 0) {
            continue;
        }
        char c = 0;
        if (::read(report[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number += c;
    }
    ::close(report[0]);
    if (!number.empty()) {
        display_ = ":" + number;
    }
}

PrivateDisplay::~PrivateDisplay() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::map<std::string, std::string> PrivateDisplay::environment() const {
    return {{"DISPLAY", display_},
            {"XDG_RUNTIME_DIR", runtimeDir_.path().string()},
            {"QT_QPA_PLATFORM", "xcb"}};
}

}  // namespace lumivox::testing
