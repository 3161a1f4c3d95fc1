#include "online/SocketOps.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <thread>

#include "tests/support/TestWebSite.hpp"

namespace lumivox::online {
namespace {

using std::chrono::milliseconds;

TEST(Sockets, ErrnoBecomesTheWinsockNumber) {
    const std::pair<int, int> cases[] = {
        {ECONNRESET, -10054},  {ETIMEDOUT, -10060}, {ECONNREFUSED, -10061}, {EAGAIN, -10035},
        {EINPROGRESS, -10035}, {ENOTSOCK, -10038},  {ECONNABORTED, -10053}, {ENOTCONN, -10057},
        {EPIPE, -10054},       {ENOENT, -1},
    };
    for (const auto& [error, code] : cases) {
        EXPECT_EQ(platform::socketErrorFromErrno(error), code) << error;
    }
}

TEST(Sockets, ConnectSucceedsOrFailsWithTheWaitError) {
    testing::TestWebSite site;
    StopFlags none;
    auto attempt = [&](int port) {
        platform::SocketHandle s = platform::openTcpSocket();
        int result = connectWithTimeout(s, "127.0.0.1", port, 1000, none);
        platform::closeSocket(s);
        return result;
    };
    EXPECT_EQ(attempt(site.port()), 0);
    int refused = attempt(testing::unusedLoopbackPort());
    EXPECT_TRUE(refused == kWaitFailed || refused == -10061) << refused;

    std::string dotted;
    EXPECT_TRUE(platform::resolveIpv4("localhost", dotted));
    EXPECT_EQ(dotted, "127.0.0.1");
    EXPECT_FALSE(platform::resolveIpv4("no-such-host.invalid", dotted));
}

// A connected pair: the test writes on one end, the engine reads the other.
class Receive : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends_), 0); }
    void TearDown() override {
        ::close(ends_[0]);
        if (ends_[1] >= 0)
            ::close(ends_[1]);
    }
    void write(const std::string& bytes) {
        ASSERT_EQ(::write(ends_[1], bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    long receive(long wanted, int timeoutMs, int readLimit, long& received,
                 const StopFlags& stop = {}) {
        return receiveWithTimeout(ends_[0], stop, wanted, wanted, timeoutMs, buffer_, readLimit,
                                  &counter_, received);
    }
    int ends_[2] = {-1, -1};
    char buffer_[64] = {};
    long counted_ = 0;
    ByteCounter counter_ = [this](long n) { counted_ += n; };
};

TEST_F(Receive, WholeWantedAmountAcrossReads) {
    std::thread writer([this] {
        write("abc");
        std::this_thread::sleep_for(milliseconds(50));
        write("defg");
    });
    long received = 0;
    EXPECT_EQ(receive(7, 1000, 0, received), 7);
    writer.join();
    EXPECT_EQ(std::string(buffer_, 7), "abcdefg");
    EXPECT_EQ(counted_, 7);
}

TEST_F(Receive, SilenceLongerThanTheTimeOutHandsBackWhatCame) {
    write("abc");
    long received = 0;
    EXPECT_EQ(receive(10, 100, 0, received), kReceiveTimeout);
    EXPECT_EQ(received, 3);
}

TEST_F(Receive, PeerCloseHandsBackWhatCame) {
    write("ab");
    ::close(ends_[1]);
    ends_[1] = -1;
    long received = 0;
    EXPECT_EQ(receive(10, 1000, 0, received), kPeerClosed);
    EXPECT_EQ(received, 2);
    EXPECT_EQ(counted_, 2);
}

TEST_F(Receive, ReadLimitAndStopEndEarly) {
    write("abc");
    long received = 0;
    EXPECT_EQ(receive(10, 1000, 1, received), 3);
    // A stop asked for ends the wait for data that never comes: with a time-out
    // of ten minutes, a receive that ignored it is reported as a hang.
    std::atomic<bool> stop{true};
    StopFlags flags{&stop, nullptr};
    auto receiving =
        std::async(std::launch::async, [&] { return receive(10, 600000, 0, received, flags); });
    ASSERT_EQ(receiving.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the receive waits on although a stop was asked for";
    EXPECT_EQ(receiving.get(), 0);
}

TEST_F(Receive, SendWritesTheWholeTextAtOnce) {
    EXPECT_EQ(sendWithTimeout(ends_[1], 1000, "GET / HTTP/1.1\r\n\r\n"), 18);
    long received = 0;
    EXPECT_EQ(receive(18, 1000, 0, received), 18);
    EXPECT_EQ(std::string(buffer_, 18), "GET / HTTP/1.1\r\n\r\n");
}

// A peer that takes nothing: the send waits for room, up to its time-out, but a
// stop request ends the wait within a poll step.
TEST_F(Receive, SendToAFullPeerEndsOnTimeOutOrStop) {
    ASSERT_EQ(platform::setNonBlocking(ends_[1]), 0);
    const std::string block(65536, 'x');
    while (::send(ends_[1], block.data(), block.size(), MSG_DONTWAIT) > 0) {
    }
    EXPECT_EQ(sendWithTimeout(ends_[1], 100, "GET"), kSendNotReady);
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(milliseconds(100));
        stop = true;
    });
    // Stopped, not timed out (which would give kSendNotReady after 30 s).
    EXPECT_EQ(sendWithTimeout(ends_[1], 30000, "GET", StopFlags{&stop, nullptr}), kConnectStopped);
    stopper.join();
}

}  // namespace
}  // namespace lumivox::online
