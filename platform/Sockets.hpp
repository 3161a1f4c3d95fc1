#pragma once
// TCP sockets for the download engine. Every failure comes back as the negative
// Windows Sockets error number (ECONNRESET as -10054, ETIMEDOUT as -10060, ...),
// because the engine's error texts are keyed by those numbers; an error without
// such a number is -1.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumivox::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// The "operation would block" code; a non-blocking connect that is under way
// reports it too.
inline constexpr int kWouldBlock = -10035;

// A TCP socket for IPv4, or kNoSocket.
SocketHandle openTcpSocket();
void closeSocket(SocketHandle socket);

// 0, or the error code.
int setNonBlocking(SocketHandle socket);

// Starts a connect to a dotted IPv4 address: 0 connected, kWouldBlock under
// way, another negative code on failure.
int startConnect(SocketHandle socket, const std::string& address, int port);

// Waits up to `timeoutMs` for the socket to become readable or writable (as
// asked). Returns a mask of kReadable, kWritable and kFailed, 0 on time-out, or
// a negative code when the wait itself failed.
inline constexpr int kReadable = 1;
inline constexpr int kWritable = 2;
inline constexpr int kFailed = 4;
int waitSocket(SocketHandle socket, bool forRead, bool forWrite, int timeoutMs);

// The error pending on the socket (after a connect): 0 or a negative code.
int pendingError(SocketHandle socket);

// One send call: the bytes sent, or a negative code. Never raises SIGPIPE.
long sendSome(SocketHandle socket, const void* data, std::size_t size);

// One receive call: the bytes read, 0 when the peer has closed, or a negative code.
long receiveSome(SocketHandle socket, void* buffer, std::size_t size);

// The first IPv4 address of a host name as dotted text; false when it has none.
bool resolveIpv4(const std::string& name, std::string& dotted);

// The negative Windows Sockets number for an errno value (-1 when there is none).
int socketErrorFromErrno(int error);

// The server side (the remote panel): one wait over many sockets, a socket's two
// addresses, and the end of both directions (the peer's read then ends).
struct SocketWait {
    SocketHandle socket = kNoSocket;
    int events = 0;  // kReadable and/or kWritable
    int ready = 0;   // after the wait: kReadable, kWritable, kFailed
};
// The number of sockets that are ready, 0 on time-out, or a negative code.
int waitSockets(std::span<SocketWait> sockets, int timeoutMs);
// Dotted IPv4 address and port of this end (local) or the other (peer); false
// when the socket has none.
bool localAddress(SocketHandle socket, std::string& ip, int& port);
bool peerAddress(SocketHandle socket, std::string& ip, int& port);
void shutdownSocket(SocketHandle socket);
// Options of a socket that is to listen: its port can be bound again at once
// after a stop, and no other socket (of another program) can share it.
void prepareListeningSocket(SocketHandle socket);
// The IPv4 address this computer reaches its local network from (the route
// to a documentation address; nothing is sent); false when it has none.
bool networkAddress(std::string& ip);

}  // namespace lumivox::platform
