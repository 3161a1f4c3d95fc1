#include "tests/support/PrivateDisplay.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;

// Display numbers of this helper: above those other helpers pick, so the two
// never meet.
constexpr int kFirstNumber = 600;
constexpr int kNumbers = 300;

fs::path claimFile(int number) {
    return "/tmp/.lumivox-display-" + std::to_string(number) + ".claim";
}

// Claims a display number for this process: the claim file is created
// exclusively, so two processes never take the same number at once. A claim
// left by a process that no longer runs is taken over.
bool claim(int number) {
    const fs::path file = claimFile(number);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            const std::string pid = std::to_string(::getpid());
            const bool written = ::write(fd, pid.data(), pid.size()) == ssize_t(pid.size());
            ::close(fd);
            return written;
        }
        long owner = -1;
        std::ifstream(file) >> owner;
        if (owner <= 0 || ::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) {
            return false;
        }
        fs::remove(file);
    }
    return false;
}

bool displayFree(int number) {
    const std::string n = std::to_string(number);
    return !fs::exists("/tmp/.X" + n + "-lock") && !fs::exists("/tmp/.X11-unix/X" + n);
}

}  // namespace

PrivateDisplay::PrivateDisplay(int width, int height) {
    ::chmod(runtimeDir_.path().c_str(), 0700);
    const int offset = ::getpid() % kNumbers;
    for (int i = 0; i < kNumbers && display_.empty(); ++i) {
        const int number = kFirstNumber + (offset + i) % kNumbers;
        if (!displayFree(number) || !claim(number)) {
            continue;
        }
        if (start(number, width, height)) {
            number_ = number;
            display_ = ":" + std::to_string(number);
        } else {
            fs::remove(claimFile(number));
        }
    }
}

bool PrivateDisplay::start(int number, int width, int height) {
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string display = ":" + std::to_string(number);
    // -noreset: without it the server resets whenever its last client leaves, and
    // a program connecting during the reset is refused (a test's xwininfo polls
    // connect and leave many times while the program starts).
    server_ = std::make_unique<Subprocess>(
        std::vector<std::string>{"Xvfb", display, "-noreset", "-screen", "0", screen, "-nolisten",
                                 "tcp"},
        std::map<std::string, std::string>{}, "/dev/null", runtimeDir_ / "xvfb.log");
    const bool up = waitUntil(
        [&] {
            return server_->running() &&
                   runCommand("DISPLAY=" + display + " xdpyinfo >/dev/null 2>&1").status == 0;
        },
        std::chrono::seconds(60));
    if (!up) {
        server_.reset();
    }
    return up;
}

PrivateDisplay::~PrivateDisplay() {
    server_.reset();
    if (number_ >= 0) {
        fs::remove(claimFile(number_));
    }
}

std::map<std::string, std::string> PrivateDisplay::environment() const {
    return {{"DISPLAY", display_},
            {"XDG_RUNTIME_DIR", runtimeDir_.path().string()},
            {"QT_QPA_PLATFORM", "xcb"},
            // The program checks its version a second after start: let it run on.
            {"LUMIVOX_SERVER", runOnVersionHost()}};
}

std::string PrivateDisplay::x(const std::string& command) const {
    return runCommand("DISPLAY=" + display_ + " " + command + " 2>/dev/null").output;
}

WindowGeometry PrivateDisplay::geometry(const std::string& title) const {
    const std::string info = x("xwininfo -name '" + title + "'");
    WindowGeometry g;
    auto number = [&](const char* label) {
        std::smatch m;
        const std::regex pattern(std::string(label) + R"(:\s+(-?\d+))");
        return std::regex_search(info, m, pattern) ? std::stoi(m[1]) : -1;
    };
    g.x = number("Absolute upper-left X");
    g.y = number("Absolute upper-left Y");
    g.width = number("Width");
    g.height = number("Height");
    g.viewable = info.find("IsViewable") != std::string::npos;
    return g;
}

void PrivateDisplay::click(const std::string& title, int left, int top) const {
    const WindowGeometry g = geometry(title);
    x("xdotool mousemove " + std::to_string(g.x + left) + " " + std::to_string(g.y + top) +
      " click 1");
}

}  // namespace lumivox::testing
