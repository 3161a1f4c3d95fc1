// Figures of the remote panel against the real program on a private X server
// and sound server, each printed as "name: value unit":
// - API request to sound: from the request's first byte to its first loud
//   sample at the sink (effect 16, loud from its start), median and maximum of 20;
// - API request to phrase: from the request to the chat box's Enter (its own
//   monotonic time stamp), median and maximum of 20;
// - the page (GET /) and the board (GET /api/state) on loopback, median of 20;
// - requests a second that the server takes (wrk, 8 connections, 5 s) while
//   the board keeps playing, beside the same for the page;
// - the program's resident memory with the panel on, then with 20 phones
//   connected (each holding the events stream, having loaded the page and the
//   board), beside the same program with the panel off.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/e2e/remote/RemoteProgram.hpp"

using namespace lumivox::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void printFigures(const char* name, std::vector<double> values, const char* unit) {
    std::sort(values.begin(), values.end());
    std::printf("%s median: %.1f %s\n%s max: %.1f %s\n", name, values[values.size() / 2], unit,
                name, values.back(), unit);
}

double requestsPerSecond(int port, const std::string& path) {
    const CommandResult wrk =
        runCommand("wrk -t2 -c8 -d5s -H 'Authorization: Bearer " + kRemoteToken +
                   "' http://127.0.0.1:" + std::to_string(port) + path + " 2>&1");
    std::smatch m;
    return std::regex_search(wrk.output, m, std::regex(R"(Requests/sec:\s+([\d.]+))"))
               ? std::stod(m[1])
               : -1;
}

int openEvents(int port) {
    const int fd = connectTo(port);
    const std::string request =
        "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
        "\r\nAuthorization: Bearer " + kRemoteToken + "\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

}  // namespace

int main() {
    RemoteProgram program(
        "[remote]\nenabled = true\nlisten = 127.0.0.1:PORT\ntoken = " + kRemoteToken + "\n");
    if (!program.ok()) {
        std::fprintf(stderr, "the program did not start\n%s\n", program.log().c_str());
        return 1;
    }
    const int port = program.port();
    waitUntil([&] { return apiCall(port, "GET", "/api/state", kRemoteToken).status == 200; }, 30s);
    std::this_thread::sleep_for(1s);

    std::vector<double> toSound, toPhrase, page, state;
    for (int round = 0; round < 20; ++round) {
        program.quietAfter(program.recorder().sampleCount(), 10s);
        const std::size_t mark = program.recorder().sampleCount();
        const Clock::time_point asked = Clock::now();
        apiCall(port, "POST", "/api/effects/16/play", kRemoteToken);
        const long loud = program.recorder().waitForLoud(mark, 800, 5s);
        if (loud >= 0) {
            toSound.push_back(
                std::chrono::duration<double, std::milli>(
                    program.recorder().arrivalOf(static_cast<std::size_t>(loud)) - asked)
                    .count());
        }
    }
    for (int round = 0; round < 20; ++round) {
        const std::size_t before = program.chatMessages().size();
        const long long asked = monotonicNs();
        apiCall(port, "POST", "/api/phrases/3/send", kRemoteToken);
        waitUntil([&] { return program.chatMessages().size() > before; }, 10s);
        // The chat box's own time stamp of the Enter that sent it.
        toPhrase.push_back(static_cast<double>(program.lastMessageNs() - asked) / 1e6);
        std::this_thread::sleep_for(300ms);
    }
    for (int round = 0; round < 20; ++round) {
        Clock::time_point start = Clock::now();
        const HttpAnswer got = httpExchange(
            port, "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
        if (got.status != 200 || got.body.size() < 5000) {
            std::fprintf(stderr, "the page did not come: %d\n", got.status);
            return 1;
        }
        page.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        start = Clock::now();
        apiCall(port, "GET", "/api/state", kRemoteToken);
        state.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    printFigures("API request to sound at the sink", toSound, "ms");
    printFigures("API request to phrase in the chat box", toPhrase, "ms");
    printFigures("page GET / on loopback", page, "ms");
    printFigures("board GET /api/state on loopback", state, "ms");

    // The alarm (about a minute) and a crowd keep the board playing meanwhile.
    apiCall(port, "POST", "/api/effects/49/play", kRemoteToken);
    apiCall(port, "POST", "/api/effects/37/play", kRemoteToken);
    const double stateRate = requestsPerSecond(port, "/api/state");
    const double pageRate = requestsPerSecond(port, "/");
    std::printf("requests per second GET /api/state while playing: %.0f req/s\n", stateRate);
    std::printf("requests per second GET / while playing: %.0f req/s\n", pageRate);
    apiCall(port, "POST", "/api/stop", kRemoteToken);

    std::this_thread::sleep_for(2s);
    const long idle = program.residentKiB();
    std::vector<int> phones;
    for (int phone = 0; phone < 20; ++phone) {
        httpExchange(port,
                     "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
        apiCall(port, "GET", "/api/state", kRemoteToken);
        phones.push_back(openEvents(port));
    }
    std::this_thread::sleep_for(1s);
    apiCall(port, "POST", "/api/effects/16/play", kRemoteToken);  // an event to all of them
    std::this_thread::sleep_for(2s);
    const long connected = program.residentKiB();
    int heard = 0;
    for (const int fd : phones) {
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        heard +=
            got > 0 && std::string(buffer, static_cast<std::size_t>(got)).find("event: playing") !=
                           std::string::npos;
    }
    std::printf("phones that got the playing event: %d of 20\n", heard);
    std::printf("memory with the panel on: %ld KiB\n", idle);
    std::printf("memory with 20 phones connected: %ld KiB (+%ld KiB)\n", connected,
                connected - idle);
    for (const int fd : phones) {
        ::close(fd);
    }
    // The same program with the panel off, for the panel's own cost.
    RemoteProgram off("");
    std::this_thread::sleep_for(5s);
    std::printf("memory with the panel off: %ld KiB\n", off.residentKiB());
    return 0;
}
