// Clients that misbehave, all at once, against the real program with its panel
// on: a flood of malformed requests, a header of 1 MiB, 200 connections fed one
// byte a second, bodies with no end. Meanwhile the window answers a click, a
// good API call works, and afterwards the program runs on with bounded memory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/remote/RemoteProgram.hpp"

namespace lumivox::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sends `bytes` in pieces until the server stops taking them or `limit` passes;
// then what the server answered (its status line), "" when it only closed.
std::string feedUntilRefused(int port, const std::string& head, const std::string& piece,
                             std::chrono::milliseconds pause, std::chrono::seconds limit) {
    const int fd = connectTo(port);
    if (fd < 0) {
        return "no connection";
    }
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    const auto until = Clock::now() + limit;
    std::string answer;
    while (Clock::now() < until) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(pause.count())) > 0) {
            char buffer[512];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                answer.assign(buffer, static_cast<std::size_t>(got));
            }
            break;
        }
        if (::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) {
            break;
        }
    }
    ::close(fd);
    return answer.substr(0, answer.find("\r\n"));
}

TEST(RemoteHostileE2E, MisbehavingClientsSlowNothingElse) {
    RemoteProgram program(
        "[remote]\nenabled = true\nlisten = 127.0.0.1:PORT\ntoken = " + kRemoteToken + "\n");
    ASSERT_TRUE(program.ok()) << program.log();
    const int port = program.port();
    ASSERT_TRUE(waitUntil(
        [&] { return apiCall(port, "GET", "/api/state", kRemoteToken).status == 200; }, 30s));
    const long memoryBefore = program.residentKiB();

    // 200 connections that send a request's first line, then one byte a second.
    std::vector<int> slow;
    for (int i = 0; i < 200; ++i) {
        const int fd = connectTo(port);
        ASSERT_GE(fd, 0) << i;
        const std::string line = "GET /api/state HTTP/1.1\r\nX-Slow: ";
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        slow.push_back(fd);
    }
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        while (!done) {
            for (const int fd : slow) {
                ::send(fd, "a", 1, MSG_NOSIGNAL);
            }
            std::this_thread::sleep_for(1s);
        }
    });
    // A flood of malformed requests from four threads.
    std::atomic<int> flooded{0};
    std::vector<std::thread> flood;
    for (int t = 0; t < 4; ++t) {
        flood.emplace_back([&, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            const std::string shapes[] = {"\r\n\r\n", "GET\r\n\r\n", "GET / HTTP/9.9\r\n\r\n",
                                          "POST /api/stop HTTP/1.1\r\nContent-Length: x\r\n\r\n",
                                          "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03"};
            for (int i = 0; i < 300 && !done; ++i) {
                std::string junk = shapes[random() % 5];
                for (int n = random() % 200; n > 0; --n) {
                    junk += static_cast<char>(random() % 256);
                }
                httpExchange(port, junk + "\r\n\r\n", 3s);
                ++flooded;
            }
        });
    }
    // A header of 1 MiB, and bodies that never end.
    std::string hugeAnswer, endlessAnswer, chunkedAnswer, slowBodyAnswer;
    std::thread hostile([&] {
        hugeAnswer = feedUntilRefused(port, "GET / HTTP/1.1\r\nX-Huge: ", std::string(1 << 20, 'a'),
                                      10ms, 20s);
        endlessAnswer = feedUntilRefused(
            port, "POST /api/stop HTTP/1.1\r\nContent-Length: 1000000000000\r\n\r\n",
            std::string(64 * 1024, 'b'), 10ms, 20s);
        chunkedAnswer =
            feedUntilRefused(port, "POST /api/stop HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
                             "1000\r\n" + std::string(4096, 'c') + "\r\n", 10ms, 20s);
    });
    std::thread slowBody([&] {
        slowBodyAnswer = feedUntilRefused(
            port, "POST /api/stop HTTP/1.1\r\nContent-Length: 4000\r\n\r\n", "d", 1000ms, 30s);
    });

    std::this_thread::sleep_for(2s);
    // Meanwhile: a good call answers, and the window answers a click.
    const auto asked = Clock::now();
    EXPECT_EQ(apiCall(port, "GET", "/api/state", kRemoteToken).status, 200);
    EXPECT_LT(Clock::now() - asked, 3s);
    std::size_t mark = program.recorder().sampleCount();
    program.click("官方音按钮16");
    EXPECT_TRUE(program.heardAfter(mark, 5s)) << "the window did not answer a click";
    mark = program.recorder().sampleCount();
    EXPECT_EQ(apiCall(port, "POST", "/api/effects/3/play", kRemoteToken).status, 200);
    EXPECT_TRUE(program.heardAfter(mark, 5s)) << "a good API call did not play";

    hostile.join();
    slowBody.join();
    EXPECT_EQ(hugeAnswer, "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(endlessAnswer, "HTTP/1.1 413 Payload Too Large");
    EXPECT_EQ(chunkedAnswer, "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(slowBodyAnswer, "HTTP/1.1 408 Request Timeout");
    done = true;
    for (std::thread& t : flood) {
        t.join();
    }
    trickle.join();
    // The slow connections were answered within the time limit, not kept.
    int timedOut = 0;
    for (const int fd : slow) {
        char buffer[64] = {};
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 0) > 0 && ::recv(fd, buffer, sizeof buffer - 1, 0) > 0 &&
            std::string(buffer).starts_with("HTTP/1.1 408")) {
            ++timedOut;
        }
        ::close(fd);
    }
    EXPECT_GE(timedOut, 190) << "slow connections answered with 408";
    EXPECT_GT(flooded.load(), 100);

    EXPECT_TRUE(program.running()) << program.log();
    EXPECT_EQ(apiCall(port, "GET", "/api/state", kRemoteToken).status, 200);
    const long memoryAfter = program.residentKiB();
    EXPECT_LT(memoryAfter - memoryBefore, 64 * 1024)
        << "resident memory grew from " << memoryBefore << " to " << memoryAfter << " KiB";
    std::printf("memory: %ld KiB before, %ld KiB after\n", memoryBefore, memoryAfter);
}

}  // namespace
}  // namespace lumivox::testing
