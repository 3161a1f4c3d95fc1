#include "tests/support/TestSupport.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lumivox::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "lumivox-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = made;
    chmod(made, 0700);
}

Subprocess::Subprocess(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& env,
                       const fs::path& stdoutFile, const fs::path& stderrFile) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (eq != std::string::npos) {
            merged[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    for (const auto& [key, value] : env) {
        merged[key] = value;
    }
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : merged) {
        envStrings.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& s : args) {
        argp.push_back(s.data());
    }
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdoutFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!stderrFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid_ = -1;
        ended_ = true;
    }
    posix_spawn_file_actions_destroy(&actions);
}

Subprocess::~Subprocess() {
    terminate();
}

bool Subprocess::running() {
    if (ended_) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

int Subprocess::wait(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

void Subprocess::terminate() {
    if (!running()) {
        return;
    }
    kill(pid_, SIGTERM);
    if (wait(std::chrono::milliseconds(3000)) == -1) {
        kill(pid_, SIGKILL);
        wait(std::chrono::milliseconds(3000));
    }
}

std::map<std::string, std::string> waylandSessionEnvironment(const std::filesystem::path& runtime,
                                                             const std::string& display,
                                                             const std::filesystem::path& home) {
    return {{"XDG_RUNTIME_DIR", runtime.string()},
            {"WAYLAND_DISPLAY", display},
            {"HOME", home.string()},
            {"XDG_CONFIG_HOME", (home / ".config").string()},
            {"LANG", "C.UTF-8"},
            {"QT_QPA_PLATFORM", "wayland"},
            {"GDK_BACKEND", "wayland"},
            {"DISPLAY", ""},
            {"NO_AT_BRIDGE", "1"}};
}

void makeSessionFolders(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "runtime");
    std::filesystem::create_directories(root / "home" / ".config");
    std::filesystem::create_directories(root / "bin");
    chmod((root / "runtime").c_str(), 0700);
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

PulseServer::PulseServer() {
    socketPath_ = (runtimeDir_ / "pulse-native").string();
    fs::create_directories(runtimeDir_ / "home");
    std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", runtimeDir_.path().string()},
                                              {"HOME", (runtimeDir_ / "home").string()}};
    std::string load = "module-native-protocol-unix auth-anonymous=1 socket=" + socketPath_;
    // Daemonized as the measured recipe says; it is killed through its pid file at the end.
    std::string command = "XDG_RUNTIME_DIR='" + runtimeDir_.path().string() + "' HOME='" +
                          (runtimeDir_ / "home").string() +
                          "' pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes "
                          "--load='module-null-sink sink_name=out' --load='" + load +
                          "' --log-target=file:" + (runtimeDir_ / "pulse.log").string() +
                          " >/dev/null 2>&1";
    runCommand(command);
    ok_ = waitUntil(
        [&] {
            return runCommand("PULSE_SERVER=unix:" + socketPath_ + " pactl info >/dev/null 2>&1")
                       .status == 0;
        },
        std::chrono::milliseconds(10000));
    // Every thread of the server in the real-time class, above the program's own
    // sound threads, as a desktop's sound server is on a busy machine; refused
    // without the right, and then it runs as it started.
    if (ok_) {
        runCommand("chrt -a -r -p 6 \"$(cat '" + (runtimeDir_ / "pulse" / "pid").string() +
                   "')\" >/dev/null 2>&1");
    }
}

PulseServer::~PulseServer() {
    runCommand("XDG_RUNTIME_DIR='" + runtimeDir_.path().string() + "' HOME='" +
               (runtimeDir_ / "home").string() + "' pulseaudio --kill >/dev/null 2>&1");
    waitUntil([&] { return !fs::exists(socketPath_); }, std::chrono::milliseconds(3000));
}

std::map<std::string, std::string> PulseServer::environment() const {
    return {{"PULSE_SERVER", "unix:" + socketPath_}, {"PULSE_SINK", "out"}};
}

void PulseServer::useInThisProcess() const {
    for (const auto& [key, value] : environment()) {
        setenv(key.c_str(), value.c_str(), 1);
    }
}

PipeWireServer::PipeWireServer() {
    fs::permissions(runtimeDir_.path(), fs::perms::owner_all, fs::perm_options::replace);
    const std::string runtime = runtimeDir_.path().string();
    std::map<std::string, std::string> env = {
        {"XDG_RUNTIME_DIR", runtime},
        {"HOME", runtime},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/bus"},
        {"PIPEWIRE_RUNTIME_DIR", runtime},
        {"PULSE_RUNTIME_PATH", runtime + "/pulse"}};
    const fs::path log = runtimeDir_ / "pipewire.log";
    processes_.push_back(std::make_unique<Subprocess>(
        std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                 "--address=unix:path=" + runtime + "/bus"},
        env, log, log));
    if (!waitUntil([&] { return fs::exists(runtimeDir_ / "bus"); }, std::chrono::milliseconds(5000))) {
        return;
    }
    processes_.push_back(std::make_unique<Subprocess>(std::vector<std::string>{"pipewire"}, env, log, log));
    if (!waitUntil([&] { return fs::exists(runtimeDir_ / "pipewire-0"); },
                   std::chrono::milliseconds(5000))) {
        return;
    }
    processes_.push_back(std::make_unique<Subprocess>(std::vector<std::string>{"wireplumber"}, env, log, log));
    processes_.push_back(std::make_unique<Subprocess>(std::vector<std::string>{"pipewire-pulse"}, env, log, log));
    const std::string pactl = "PULSE_SERVER=unix:" + runtime + "/pulse/native pactl ";
    ok_ = waitUntil([&] { return runCommand(pactl + "info >/dev/null 2>&1").status == 0; },
                    std::chrono::milliseconds(10000)) &&
          runCommand(pactl + "load-module module-null-sink sink_name=out >/dev/null 2>&1").status == 0 &&
          runCommand(pactl + "set-default-sink out 2>&1").status == 0;
}

PipeWireServer::~PipeWireServer() {
    while (!processes_.empty()) {
        processes_.pop_back();  // terminated: pulse, session manager, pipewire, the bus
    }
}

std::map<std::string, std::string> PipeWireServer::environment() const {
    return {{"PULSE_SERVER", "unix:" + (runtimeDir_ / "pulse" / "native").string()}};
}

void PipeWireServer::useInThisProcess() const {
    for (const auto& [key, value] : environment()) {
        setenv(key.c_str(), value.c_str(), 1);
    }
}

}  // namespace lumivox::testing
