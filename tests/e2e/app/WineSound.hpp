#pragma once
// For the Wine tests that hear the program: a version file that lets it run on,
// and the recording that scripts/wine-with-pulse makes of the private sound
// server's monitor.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

namespace fs = std::filesystem;

constexpr double kRate = 22050;  // of the recording

// Answers every request on a loopback port with the version file: a version
// that is not the program's, so it runs on after its check.
class VersionServer {
  public:
    VersionServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] { serve(); });
    }
    ~VersionServer() {
        closesocket(listener_);  // ends accept()
        thread_.join();
        WSACleanup();
    }
    VersionServer(const VersionServer&) = delete;
    VersionServer& operator=(const VersionServer&) = delete;
    int port() const { return port_; }

  private:
    void serve() {
        for (;;) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                return;
            }
            char request[2048];
            recv(client, request, sizeof(request), 0);
            const std::string body = "2---http://127.0.0.1:1/none.exe---Lumivox";
            const std::string answer =
                "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
            send(client, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::thread thread_;
};

// The recording: 16-bit mono samples at 22,050 Hz, growing while the server plays.
class Recording {
  public:
    explicit Recording(fs::path file) : file_(std::move(file)) {}
    // The number of samples recorded so far.
    std::size_t now() const { return static_cast<std::size_t>(fs::file_size(file_) / 2); }
    std::vector<std::int16_t> since(std::size_t sample) const {
        std::ifstream in(file_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(sample * 2));
        std::vector<std::int16_t> samples;
        std::int16_t value;
        while (in.read(reinterpret_cast<char*>(&value), sizeof value)) {
            samples.push_back(value);
        }
        return samples;
    }

    // The index (from `sample`) of the first sample louder than 1000 that has
    // at least `after` samples recorded behind it, waited for; -1 when none
    // comes in time. `samples` gets what was recorded from `sample` on.
    long firstLoud(std::size_t sample, std::size_t after, std::chrono::milliseconds limit,
                   std::vector<std::int16_t>& samples) const {
        long found = -1;
        waitUntil(
            [&] {
                samples = since(sample);
                for (std::size_t i = 0; i < samples.size(); ++i) {
                    if (std::abs(samples[i]) > 1000) {
                        found = samples.size() > i + after ? static_cast<long>(i) : -1;
                        return found >= 0;
                    }
                }
                return false;
            },
            limit);
        return found;
    }

  private:
    fs::path file_;
};

inline int peakOf(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    int peak = 0;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    }
    return peak;
}

}  // namespace lumivox::testing
