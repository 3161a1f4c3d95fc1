#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/Process.hpp"

extern char** environ;

namespace lumivox::platform {
namespace {

// Splits a command line by the Windows rules: white space separates arguments;
// double quotes group; 2n backslashes before a quote give n backslashes and the
// quote toggles grouping; 2n+1 give n backslashes and a literal quote; other
// backslashes are literal.
std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool haveArgument = false;
    for (size_t i = 0; i < commandLine.size();) {
        char c = commandLine[i];
        if (c == '\\') {
            size_t slashes = 0;
            while (i < commandLine.size() && commandLine[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < commandLine.size() && commandLine[i] == '"') {
                current.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    current += '"';
                    ++i;
                }
            } else {
                current.append(slashes, '\\');
            }
            haveArgument = true;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            haveArgument = true;
            ++i;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArgument) {
                args.push_back(current);
                current.clear();
                haveArgument = false;
            }
            ++i;
        } else {
            current += c;
            haveArgument = true;
            ++i;
        }
    }
    if (haveArgument) {
        args.push_back(current);
    }
    return args;
}

}  // namespace

bool startProcess(const std::string& commandLine, int /*showValue*/, bool wait, int settleMs) {
    // The show value has no counterpart for a process started on X11: the new
    // program's own window decides how it shows.
    std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty()) {
        return false;
    }
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    if (wait) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return true;
    }
    // Give the program a moment to settle, then leave a reaper behind so that it
    // does not stay a zombie when it ends later.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(settleMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::thread([pid] {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }).detach();
    return true;
}

void exitProcess(int exitCode) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

}  // namespace lumivox::platform
