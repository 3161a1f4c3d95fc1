#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Sockets.hpp"

namespace lumivox::platform {
namespace {

// A listening loopback socket on a port the system picks.
class Listener {
  public:
    Listener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(socket_, 1);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        ::closesocket(socket_);
        WSACleanup();
    }
    SOCKET accept() { return ::accept(socket_, nullptr, nullptr); }
    int port() const { return port_; }

  private:
    SOCKET socket_;
    int port_ = 0;
};

// Connects without blocking: 0 or the Winsock error that ended the attempt.
int connectTo(SocketHandle s, int port) {
    EXPECT_EQ(setNonBlocking(s), 0);
    const int started = startConnect(s, "127.0.0.1", port);
    if (started != kWouldBlock) {
        return started;
    }
    const int ready = waitSocket(s, false, true, 5000);
    EXPECT_GT(ready, 0) << "time-out";
    return pendingError(s);
}

TEST(SocketsWindows, ConnectSendReceiveAndTheWinsockNumbers) {
    Listener listener;
    const SocketHandle s = openTcpSocket();
    ASSERT_NE(s, kNoSocket);
    ASSERT_EQ(connectTo(s, listener.port()), 0);
    const SOCKET peer = listener.accept();
    ASSERT_NE(peer, INVALID_SOCKET);

    char buffer[16];
    EXPECT_EQ(receiveSome(s, buffer, sizeof buffer), kWouldBlock) << "nothing sent yet";
    EXPECT_EQ(sendSome(s, "ping", 4), 4);
    ASSERT_EQ(::recv(peer, buffer, sizeof buffer, 0), 4);
    ::send(peer, "pong", 4, 0);
    ASSERT_EQ(waitSocket(s, true, false, 5000) & kReadable, kReadable);
    ASSERT_EQ(receiveSome(s, buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "pong");

    // An orderly close reads as 0; a reset as WSAECONNRESET.
    ::shutdown(peer, SD_SEND);
    ASSERT_GT(waitSocket(s, true, false, 5000), 0);
    EXPECT_EQ(receiveSome(s, buffer, sizeof buffer), 0);
    linger abort{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::closesocket(peer);
    ASSERT_TRUE(waitSocket(s, true, false, 5000) > 0);
    long result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i) {
        result = sendSome(s, "more", 4);
        Sleep(10);
    }
    EXPECT_EQ(result, -10054);
    closeSocket(s);
}

TEST(SocketsWindows, RefusedConnectAndNames) {
    int freePort;
    {
        Listener gone;
        freePort = gone.port();
    }
    const SocketHandle s = openTcpSocket();
    ASSERT_NE(s, kNoSocket);
    EXPECT_EQ(connectTo(s, freePort), -10061);
    closeSocket(s);

    std::string dotted;
    EXPECT_TRUE(resolveIpv4("localhost", dotted));
    EXPECT_EQ(dotted, "127.0.0.1");
    EXPECT_FALSE(resolveIpv4("no-such-host.invalid", dotted));
}

}  // namespace
}  // namespace lumivox::platform
