// The sound board of Lumivox.exe under Wine, heard: a click on an effect button
// plays it into the private PulseAudio server whose monitor
// scripts/wine-with-pulse records, and the stop button silences it. On a
// private X screen (scripts/wine-with-display); the version file comes from a
// small web server of the test's own. Argument: the program.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/shell/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string programPath;
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

  private:
    fs::path file_;
};

int peakOf(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    int peak = 0;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    }
    return peak;
}

// 官方音按钮n on the sound page: its centre in the client area.
POINT soundButton(int n) {
    const int column = (n - 1) % 6;
    const int row = (n - 1) / 6;
    return {8 + 8 + 104 * column + 48, 128 + 16 + 40 * row + 16};
}

TEST(WineSoundBoard, EffectButtonIsHeardAndStopSilencesIt) {
    const char* recordingFile = std::getenv("LUMIVOX_RECORDING");
    ASSERT_NE(recordingFile, nullptr) << "run through scripts/wine-with-pulse";
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through scripts/wine-with-display";
    ASSERT_FALSE(programPath.empty());
    const Recording recording{fs::path(windowsPath(recordingFile))};
    VersionServer server;
    SetEnvironmentVariableW(L"LUMIVOX_SERVER",
                            (L"127.0.0.1:" + std::to_wstring(server.port())).c_str());
    TempDir elsewhere;
    SetCursorPos(0, 0);
    Started program(programPath, elsewhere.path());
    HWND window = program.waitForWindow(L"LumivoxV1.0", 60s);
    ASSERT_NE(window, nullptr);
    settled(window);
    // Past the version check (a second after the window shows): the program runs on.
    Sleep(2500);
    ASSERT_TRUE(program.running());

    // 官方音按钮49 "警报声", nearly a minute long.
    const std::size_t beforeClick = recording.now();
    const POINT alarm = soundButton(49);
    clickAt(window, alarm.x, alarm.y);
    const std::size_t clicked = recording.now();
    Sleep(2000);
    std::vector<std::int16_t> samples = recording.since(beforeClick);
    std::size_t firstLoud = samples.size();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > 1000) {
            firstLoud = i;
            break;
        }
    }
    ASSERT_LT(firstLoud, samples.size())
        << "nothing heard after the click; peak " << peakOf(samples, 0, samples.size());
    // parec writes the recording in blocks, so its end lags behind the click:
    // this is the click-to-sound time plus that lag, an upper bound.
    std::printf("click to sound at the monitor under Wine: at most %.0f ms\n",
                1000.0 *
                    (static_cast<double>(firstLoud) - static_cast<double>(clicked - beforeClick)) /
                    kRate);

    // 官方音按钮51 "停止播放": after the server's latency, silence.
    const POINT stop = soundButton(51);
    clickAt(window, stop.x, stop.y);
    const std::size_t stopped = recording.now();
    Sleep(2500);
    samples = recording.since(stopped);
    const std::size_t settle = static_cast<std::size_t>(kRate * 0.8);
    ASSERT_GT(samples.size(), settle + static_cast<std::size_t>(kRate));
    EXPECT_LT(peakOf(samples, settle, samples.size()), 300)
        << "still playing after the stop button";

    pressEscape(window);
    EXPECT_EQ(program.waitForExit(30s), 0);
}

}  // namespace
}  // namespace lumivox::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) {
        lumivox::testing::programPath = argv[1];
    }
    return RUN_ALL_TESTS();
}
