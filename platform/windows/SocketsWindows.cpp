// Winsock 2 behind the neutral socket interface: its error numbers are the
// ones the download engine's error texts are keyed by, so they pass unchanged.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/SocketReadiness.hpp"
#include "platform/Sockets.hpp"

namespace lumivox::platform {
namespace {

// Winsock is started once, on first use, for the life of the process.
bool winsockReady() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

int lastError() {
    return -WSAGetLastError();
}

SOCKET handle(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

}  // namespace

int socketErrorFromErrno(int error) {
    static constexpr std::pair<int, int> kTable[] = {
        {EINTR, 10004},           {EBADF, 10009},         {EACCES, 10013},
        {EFAULT, 10014},          {EINVAL, 10022},        {EMFILE, 10024},
        {EWOULDBLOCK, 10035},     {EAGAIN, 10035},        {EINPROGRESS, 10035},
        {EALREADY, 10037},        {ENOTSOCK, 10038},      {EDESTADDRREQ, 10039},
        {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},
        {EPROTONOSUPPORT, 10043}, {EOPNOTSUPP, 10045},    {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},
        {ENETUNREACH, 10051},     {ENETRESET, 10052},     {ECONNABORTED, 10053},
        {ECONNRESET, 10054},      {EPIPE, 10054},         {ENOBUFS, 10055},
        {EISCONN, 10056},         {ENOTCONN, 10057},      {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061},    {EHOSTUNREACH, 10065},
    };
    for (const auto& [errnoValue, winsock] : kTable) {
        if (errnoValue == error) {
            return -winsock;
        }
    }
    return -1;
}

SocketHandle openTcpSocket() {
    if (!winsockReady()) {
        return kNoSocket;
    }
    // Not inherited by programs this one starts.
    SOCKET s =
        WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

void closeSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        ::closesocket(handle(socket));
    }
}

int setNonBlocking(SocketHandle socket) {
    u_long on = 1;
    return ::ioctlsocket(handle(socket), FIONBIO, &on) == 0 ? 0 : lastError();
}

int startConnect(SocketHandle socket, const std::string& address, int port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        return -WSAEINVAL;
    }
    if (::connect(handle(socket), reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
        return 0;
    }
    return lastError();  // WSAEWOULDBLOCK while a non-blocking connect is under way
}

int waitSocket(SocketHandle socket, bool forRead, bool forWrite, int timeoutMs) {
    WSAPOLLFD entry{};
    entry.fd = handle(socket);
    entry.events = static_cast<short>((forRead ? POLLRDNORM : 0) | (forWrite ? POLLWRNORM : 0));
    const int n = ::WSAPoll(&entry, 1, timeoutMs);
    if (n < 0) {
        return lastError();
    }
    return n == 0 ? 0
                  : readinessMask(entry.revents,
                                  {POLLRDNORM, POLLWRNORM, POLLHUP, POLLERR | POLLNVAL});
}

int pendingError(SocketHandle socket) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(handle(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0) {
        return lastError();
    }
    return -error;
}

long sendSome(SocketHandle socket, const void* data, std::size_t size) {
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    const int n = ::send(handle(socket), static_cast<const char*>(data), chunk, 0);
    return n == SOCKET_ERROR ? lastError() : n;
}

long receiveSome(SocketHandle socket, void* buffer, std::size_t size) {
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    const int n = ::recv(handle(socket), static_cast<char*>(buffer), chunk, 0);
    return n == SOCKET_ERROR ? lastError() : n;
}

bool resolveIpv4(const std::string& name, std::string& dotted) {
    if (!winsockReady()) {
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    if (ok) {
        dotted = text;
    }
    return ok;
}

int waitSockets(std::span<SocketWait> sockets, int timeoutMs) {
    std::vector<WSAPOLLFD> entries(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        entries[i].fd = handle(sockets[i].socket);
        entries[i].events =
            static_cast<short>(((sockets[i].events & kReadable) ? POLLRDNORM : 0) |
                               ((sockets[i].events & kWritable) ? POLLWRNORM : 0));
    }
    const int n = ::WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeoutMs);
    if (n < 0) {
        return lastError();
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        sockets[i].ready = readinessMask(entries[i].revents,
                                         {POLLRDNORM, POLLWRNORM, POLLHUP, POLLERR | POLLNVAL});
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
    int length = sizeof address;
    return ::getsockname(handle(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           addressOf(address, ip, port);
}

bool peerAddress(SocketHandle socket, std::string& ip, int& port) {
    sockaddr_in address{};
    int length = sizeof address;
    return ::getpeername(handle(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           addressOf(address, ip, port);
}

void shutdownSocket(SocketHandle socket) {
    ::shutdown(handle(socket), SD_BOTH);
}

void prepareListeningSocket(SocketHandle socket) {
    // On Windows SO_REUSEADDR would let another socket take the port over;
    // exclusive use keeps it ours.
    const BOOL yes = TRUE;
    ::setsockopt(handle(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&yes), sizeof yes);
}

bool networkAddress(std::string& ip) {
    if (!winsockReady()) {
        return false;
    }
    const auto s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    ::inet_pton(AF_INET, "192.0.2.1", &to.sin_addr);
    int port = 0;
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                    localAddress(static_cast<SocketHandle>(s), ip, port) && ip != "0.0.0.0";
    ::closesocket(s);
    return ok;
}

}  // namespace lumivox::platform
