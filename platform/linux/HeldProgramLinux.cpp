// The held program on Linux: a read-only descriptor, hashed with pread and
// started through /proc/self/fd, so a file swapped in under the name between
// the check and the start is never what runs.
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/HeldProgram.hpp"

extern char** environ;

namespace lumivox::platform {

struct HeldProgram::State {
    int fd = -1;
    std::string path;
    pid_t child = -1;
    bool lost = false;  // moved and then removed, or the name taken from under it
};

HeldProgram::HeldProgram(std::unique_ptr<State> state) : state_(std::move(state)) {}

HeldProgram::~HeldProgram() {
    ::close(state_->fd);
}

std::unique_ptr<HeldProgram> HeldProgram::open(const std::string& path) {
    auto state = std::make_unique<State>();
    state->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info {};
    if (state->fd < 0 || ::fstat(state->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (state->fd >= 0) {
            ::close(state->fd);
        }
        return nullptr;
    }
    state->path = path;
    return std::unique_ptr<HeldProgram>(new HeldProgram(std::move(state)));
}

std::optional<Sha256Digest> HeldProgram::sha256() {
    Sha256Hasher hasher;
    std::array<std::uint8_t, 65536> chunk;
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(state_->fd, chunk.data(), chunk.size(), at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return hasher.finish();
        }
        if (!hasher.add(std::span(chunk.data(), static_cast<std::size_t>(got)))) {
            return std::nullopt;
        }
        at += got;
    }
}

bool HeldProgram::moveTo(const std::string& finalPath) {
    if (state_->lost) {
        return false;
    }
    const std::string& from = state_->path;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) != 0) {
        // A file system that does not know the flag (FUSE without rename2 answers
        // EINVAL): a hard link refuses an existing name as well, and the old
        // name then goes. Where the old name cannot go, the new one goes again.
        if (errno != EINVAL || ::link(from.c_str(), finalPath.c_str()) != 0) {
            return false;
        }
        if (::unlink(from.c_str()) != 0) {
            ::unlink(finalPath.c_str());
            return false;
        }
    }
    state_->path = finalPath;
    struct stat held {}, named {};
    if (::fstat(state_->fd, &held) != 0 || ::lstat(finalPath.c_str(), &named) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
        // The name no longer names the held file: where it went is unknown, and
        // nothing more is renamed or removed under any name.
        state_->lost = true;
        return false;
    }
    // Execute for each class that may read it (the owner's descriptor may change it).
    const mode_t read = held.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
    if (::fchmod(state_->fd, (held.st_mode & 07777) | (read >> 2)) != 0) {
        // Renamed but not runnable: the name is not left to a build that fails.
        ::unlink(finalPath.c_str());
        state_->lost = true;
        return false;
    }
    return true;
}

bool HeldProgram::start(int settleMs) {
    // The kernel opens /proc/self/fd/N before it closes the close-on-exec
    // descriptors, so the held file itself is what the new process runs.
    std::string image = "/proc/self/fd/" + std::to_string(state_->fd);
    std::string name = state_->path;
    char* argv[] = {name.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, image.c_str(), nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    state_->child = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(settleMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            state_->child = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (ended < 0 && errno != EINTR) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void HeldProgram::waitForEnd() {
    if (state_->child < 0) {
        return;
    }
    int status = 0;
    while (::waitpid(state_->child, &status, 0) < 0 && errno == EINTR) {
    }
    state_->child = -1;
}

}  // namespace lumivox::platform
