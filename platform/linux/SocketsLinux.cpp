// POSIX sockets behind the neutral socket interface; errno becomes the negative
// Windows Sockets number.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/SocketReadiness.hpp"
#include "platform/Sockets.hpp"

namespace lumivox::platform {

int socketErrorFromErrno(int error) {
    switch (error) {
        case EINTR:
            return -10004;
        case EBADF:
            return -10009;
        case EACCES:
            return -10013;
        case EFAULT:
            return -10014;
        case EINVAL:
            return -10022;
        case EMFILE:
            return -10024;
        case EAGAIN:
            return -10035;  // EWOULDBLOCK is the same number on Linux
        case EINPROGRESS:
            return -10035;
        case EALREADY:
            return -10037;
        case ENOTSOCK:
            return -10038;
        case EDESTADDRREQ:
            return -10039;
        case EMSGSIZE:
            return -10040;
        case EPROTOTYPE:
            return -10041;
        case ENOPROTOOPT:
            return -10042;
        case EPROTONOSUPPORT:
            return -10043;
        case EOPNOTSUPP:
            return -10045;
        case EAFNOSUPPORT:
            return -10047;
        case EADDRINUSE:
            return -10048;
        case EADDRNOTAVAIL:
            return -10049;
        case ENETDOWN:
            return -10050;
        case ENETUNREACH:
            return -10051;
        case ENETRESET:
            return -10052;
        case ECONNABORTED:
            return -10053;
        case ECONNRESET:
            return -10054;
        case EPIPE:
            return -10054;  // a send after the peer reset the connection
        case ENOBUFS:
            return -10055;
        case EISCONN:
            return -10056;
        case ENOTCONN:
            return -10057;
        case ESHUTDOWN:
            return -10058;
        case ETIMEDOUT:
            return -10060;
        case ECONNREFUSED:
            return -10061;
        case EHOSTDOWN:
            return -10064;
        case EHOSTUNREACH:
            return -10065;
        default:
            return -1;
    }
}

namespace {
int lastError() {
    return socketErrorFromErrno(errno);
}
int fd(SocketHandle socket) {
    return static_cast<int>(socket);
}
}  // namespace

SocketHandle openTcpSocket() {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return s < 0 ? kNoSocket : s;
}

void closeSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        ::close(fd(socket));
    }
}

int setNonBlocking(SocketHandle socket) {
    int flags = ::fcntl(fd(socket), F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd(socket), F_SETFL, flags | O_NONBLOCK) < 0) {
        return lastError();
    }
    return 0;
}

int startConnect(SocketHandle socket, const std::string& address, int port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        return socketErrorFromErrno(EINVAL);
    }
    if (::connect(fd(socket), reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
        return 0;
    }
    return lastError();
}

int waitSocket(SocketHandle socket, bool forRead, bool forWrite, int timeoutMs) {
    pollfd entry{};
    entry.fd = fd(socket);
    entry.events = static_cast<short>((forRead ? POLLIN : 0) | (forWrite ? POLLOUT : 0));
    int n = ::poll(&entry, 1, timeoutMs);
    if (n < 0) {
        return errno == EINTR ? 0 : lastError();
    }
    return n == 0 ? 0
                  : readinessMask(entry.revents, {POLLIN, POLLOUT, POLLHUP, POLLERR | POLLNVAL});
}

int pendingError(SocketHandle socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) < 0) {
        return lastError();
    }
    return error == 0 ? 0 : socketErrorFromErrno(error);
}

long sendSome(SocketHandle socket, const void* data, std::size_t size) {
    ssize_t n = ::send(fd(socket), data, size, MSG_NOSIGNAL);
    return n < 0 ? lastError() : static_cast<long>(n);
}

long receiveSome(SocketHandle socket, void* buffer, std::size_t size) {
    ssize_t n = ::recv(fd(socket), buffer, size, MSG_DONTWAIT);
    return n < 0 ? lastError() : static_cast<long>(n);
}

bool resolveIpv4(const std::string& name, std::string& dotted) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    if (ok) {
        dotted = text;
    }
    return ok;
}

int waitSockets(std::span<SocketWait> sockets, int timeoutMs) {
    std::vector<pollfd> entries(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        entries[i].fd = fd(sockets[i].socket);
        entries[i].events = static_cast<short>(((sockets[i].events & kReadable) ? POLLIN : 0) |
                                               ((sockets[i].events & kWritable) ? POLLOUT : 0));
    }
    const int n = ::poll(entries.data(), entries.size(), timeoutMs);
    if (n < 0) {
        return lastError();
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        sockets[i].ready =
            readinessMask(entries[i].revents, {POLLIN, POLLOUT, POLLHUP, POLLERR | POLLNVAL});
    }
    return n;
}

namespace {
bool addressOf(const sockaddr_in& address, std::string& ip, int& port) {
    char text[INET_ADDRSTRLEN] = {};
    if (address.sin_family != AF_INET ||
        ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
        return false;
    }
    ip = text;
    port = ntohs(address.sin_port);
    return true;
}
}  // namespace

bool localAddress(SocketHandle socket, std::string& ip, int& port) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    return ::getsockname(fd(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           addressOf(address, ip, port);
}

bool peerAddress(SocketHandle socket, std::string& ip, int& port) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    return ::getpeername(fd(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           addressOf(address, ip, port);
}

void shutdownSocket(SocketHandle socket) {
    ::shutdown(fd(socket), SHUT_RDWR);
}

void prepareListeningSocket(SocketHandle socket) {
    // SO_REUSEADDR only: SO_REUSEPORT would let a second listener share the port.
    const int yes = 1;
    ::setsockopt(fd(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

bool networkAddress(std::string& ip) {
    const auto s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == -1) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    ::inet_pton(AF_INET, "192.0.2.1", &to.sin_addr);
    int port = 0;
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                    localAddress(static_cast<SocketHandle>(s), ip, port) && ip != "0.0.0.0";
    ::close(s);
    return ok;
}

}  // namespace lumivox::platform
