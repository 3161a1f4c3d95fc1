#pragma once
// Temporary folders, child processes and the services that end-to-end tests
// start for themselves. Each service lives as long as its object.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

namespace lumivox::testing {

// The source tree and build tree (set by CTest; fall back to the current folder).
std::filesystem::path sourceDir();
std::filesystem::path binaryDir();

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A child process; killed (SIGTERM, then SIGKILL) on destruction unless it has ended.
class Subprocess {
public:
    // `env` entries are added to (or replace those of) the current environment.
    Subprocess(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& env = {},
               const std::filesystem::path& stdoutFile = {},
               const std::filesystem::path& stderrFile = {});
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Exit status (or 128 + signal), or -1 when it did not end within the time-out.
    int wait(std::chrono::milliseconds timeout);
    void terminate();

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool ended_ = false;
};

// Runs a command through /bin/sh and returns its exit status and standard output.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult runCommand(const std::string& command);
// The text as one word of a shell command line (single quotes).
std::string shellQuoted(const std::string& text);

// A Wayland session's environment for its clients: the runtime folder and
// display, HOME and XDG_CONFIG_HOME in the given home, UTF-8, both toolkits on
// Wayland and no X display.
std::map<std::string, std::string> waylandSessionEnvironment(const std::filesystem::path& runtime,
                                                             const std::string& display,
                                                             const std::filesystem::path& home);

// A desktop session's folders under `root`: runtime/ (0700, as a session's
// runtime folder must be), home/ with its .config/, and bin/.
void makeSessionFolders(const std::filesystem::path& root);

// Polls `ready` every 20 ms until it holds or the time-out passes.
bool waitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout);

// The whole file as bytes, or "" when it cannot be read. (On Windows give a
// path made with std::filesystem::u8path for UTF-8 names: a plain string is
// taken in the ANSI code page.)
std::string wholeFile(const std::filesystem::path& path);

// A private PulseAudio server with one null sink named "out"; parec on
// "out.monitor" records what was played. PULSE_SERVER points clients at it.
class PulseServer {
public:
    PulseServer();
    ~PulseServer();
    bool ok() const { return ok_; }
    // Environment for clients of this server (also set in this process by `useInThisProcess`).
    std::map<std::string, std::string> environment() const;
    void useInThisProcess() const;
    const std::filesystem::path& runtimeDir() const { return runtimeDir_.path(); }

private:
    TempDir runtimeDir_;
    std::string socketPath_;
    bool ok_ = false;
};

// A private PipeWire with its PulseAudio server (pipewire, wireplumber,
// pipewire-pulse on a private session bus, headless), with one null sink named
// "out" made the default, as PulseServer has. Stopped in reverse order at the end.
class PipeWireServer {
public:
    PipeWireServer();
    ~PipeWireServer();
    bool ok() const { return ok_; }
    std::map<std::string, std::string> environment() const;
    void useInThisProcess() const;

private:
    TempDir runtimeDir_;
    std::vector<std::unique_ptr<Subprocess>> processes_;  // bus, pipewire, wireplumber, pulse
    bool ok_ = false;
};

}  // namespace lumivox::testing
