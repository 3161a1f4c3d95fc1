// The action channel on Linux: a Unix socket in the user's runtime folder
// (XDG_RUNTIME_DIR, private to the user), read by a worker of the running copy.
// Only a peer of the same user is listened to.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/ActionChannel.hpp"
#include "platform/GuiThread.hpp"

namespace lumivox::platform {
namespace {

constexpr int kReplyTimeoutMs = 5000;
constexpr int kLineTimeoutMs = 2000;
constexpr std::size_t kMaxLine = 256;

// The runtime folder: XDG_RUNTIME_DIR, else a private folder of this user in /tmp
// (made 0700 and used only when it is this user's and nobody else's).
std::string runtimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && dir[0] == '/') {
        return dir;
    }
    const std::string folder = "/tmp/lumivox-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0) {
        return {};
    }
    return folder;
}

bool socketAddress(sockaddr_un& address) {
    const std::string path = actionChannelName();
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Reads up to a line feed (dropped), the peer's end, or the time-out.
bool readLine(int fd, std::string& line, int timeoutMs) {
    line.clear();
    char c = 0;
    while (line.size() < kMaxLine) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) {
            return false;
        }
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return !line.empty();
        }
        if (c == '\n') {
            return true;
        }
        line += c;
    }
    return false;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

class Listener {
  public:
    bool start(std::function<bool(const std::string&)> accepts,
               std::function<void(const std::string&)> perform) {
        if (fd_ >= 0) {
            return false;
        }
        sockaddr_un address{};
        if (!socketAddress(address)) {
            return false;
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return false;
        }
        // A socket left by a copy that ended without removing it answers nobody:
        // it is replaced. One that answers belongs to a running copy.
        std::string unused;
        if (sendActionToRunningCopy("", unused) != ActionDelivery::NoRunningCopy) {
            close(fd);
            return false;
        }
        unlink(address.sun_path);
        const mode_t before = umask(077);  // 0600 from its creation on
        const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        umask(before);
        if (!bound || listen(fd, 8) != 0 || pipe2(stopPipe_, O_CLOEXEC) != 0) {
            close(fd);
            return false;
        }
        fd_ = fd;
        path_ = address.sun_path;
        accepts_ = std::move(accepts);
        perform_ = std::move(perform);
        worker_ = std::thread([this] { serve(); });
        return true;
    }

    void stop() {
        if (fd_ < 0) {
            return;
        }
        const char byte = 0;
        (void)!write(stopPipe_[1], &byte, 1);
        worker_.join();
        unlink(path_.c_str());
        close(fd_);
        close(stopPipe_[0]);
        close(stopPipe_[1]);
        fd_ = -1;
    }

    ~Listener() { stop(); }

  private:
    void serve() {
        for (;;) {
            pollfd ready[2] = {{fd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
            if (poll(ready, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (ready[1].revents != 0) {
                return;
            }
            const int peer = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer < 0) {
                continue;
            }
            handle(peer);
            close(peer);
        }
    }

    void handle(int peer) {
        // The line is read before any answer: a socket closed with unread data
        // resets the connection, and the answer would be lost.
        std::string line;
        if (!readLine(peer, line, kLineTimeoutMs)) {
            return;
        }
        ucred credentials{};
        socklen_t length = sizeof(credentials);
        if (getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
            credentials.uid != getuid()) {
            writeAll(peer, "refused: another user\n");
            return;
        }
        if (line.empty()) {
            writeAll(peer, "running\n");  // a probe: is anybody there
            return;
        }
        if (!accepts_(line)) {
            writeAll(peer, "refused: unknown action\n");
            return;
        }
        // The action runs on the GUI thread as a click would, and the sender is
        // told "ok" only once it has: a program that is ending takes no more
        // work, and says so rather than dropping the action after an "ok".
        const bool done = runOnGuiThread([this, &line] { perform_(line); });
        writeAll(peer, done ? "ok\n" : "refused: the program is ending\n");
    }

    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::string path_;
    std::function<bool(const std::string&)> accepts_;
    std::function<void(const std::string&)> perform_;
    std::thread worker_;
};

Listener& listener() {
    static Listener instance;
    return instance;
}

}  // namespace

std::string actionChannelName() {
    const std::string folder = runtimeFolder();
    return folder.empty() ? std::string() : folder + "/lumivox-actions.socket";
}

ActionDelivery sendActionToRunningCopy(const std::string& action, std::string& reply) {
    reply.clear();
    sockaddr_un address{};
    if (!socketAddress(address)) {
        return ActionDelivery::NoRunningCopy;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return ActionDelivery::NoRunningCopy;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return ActionDelivery::NoRunningCopy;
    }
    const bool sent = writeAll(fd, action + "\n");
    const bool answered = sent && readLine(fd, reply, kReplyTimeoutMs);
    close(fd);
    if (!answered) {
        return ActionDelivery::NoRunningCopy;
    }
    return reply == "ok" || (action.empty() && reply == "running") ? ActionDelivery::Delivered
                                                                   : ActionDelivery::Refused;
}

bool startActionListener(std::function<bool(const std::string&)> accepts,
                         std::function<void(const std::string&)> perform) {
    return listener().start(std::move(accepts), std::move(perform));
}

void stopActionListener() {
    listener().stop();
}

}  // namespace lumivox::platform
