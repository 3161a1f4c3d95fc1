// The remote panel of Lumivox.exe under Wine: switched on by a prepared
// lumivox.ini in the data folder, called over Winsock as a stream deck would;
// the token and the Host are checked, and the effect it plays is heard at the
// private PulseAudio server's monitor (scripts/wine-with-pulse).
#include <gtest/gtest.h>

#include "platform/DataFolder.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/e2e/app/WineSound.hpp"
#include "tests/support/MainWindowPoints.hpp"

namespace lumivox::testing {
namespace {

using namespace std::chrono_literals;

std::string programPath;
const std::string kToken = "Zk3Qp9LmXw2Rt7Vb5Nc8Hd4Jf6Gs1Ay0";

int freePort() {
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(probe);
    return ntohs(address.sin_port);
}

// The answer's status (0 when none) to one request, read until the server closes.
int statusOf(int port, const std::string& method, const std::string& path, const std::string& token,
             const std::string& host) {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const DWORD timeoutMs = 10000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(client);
        return 0;
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    if (!token.empty()) {
        request += "Authorization: Bearer " + token + "\r\n";
    }
    request += "Content-Length: 0\r\n\r\n";
    send(client, request.data(), static_cast<int>(request.size()), 0);
    std::string answer;
    char buffer[4096];
    for (int got; (got = recv(client, buffer, sizeof buffer, 0)) > 0;) {
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    closesocket(client);
    return answer.starts_with("HTTP/1.1 ") ? std::atoi(answer.c_str() + 9) : 0;
}

TEST(WineRemotePanel, AStreamDeckCallPlaysAnEffectOnlyWithTheTokenAndItsHost) {
    const char* recordingFile = std::getenv("LUMIVOX_RECORDING");
    ASSERT_NE(recordingFile, nullptr) << "run through scripts/wine-with-pulse";
    ASSERT_FALSE(programPath.empty());
    const Recording recording{fs::path(windowsPath(recordingFile))};
    VersionServer server;
    SetEnvironmentVariableW(L"LUMIVOX_SERVER",
                            (L"127.0.0.1:" + std::to_wstring(server.port())).c_str());
    const int port = freePort();
    const fs::path folder = fs::path(platform::widen(platform::dataFolder()));
    fs::create_directories(folder);
    const fs::path ini = folder / L"lumivox.ini";
    ASSERT_FALSE(fs::exists(ini)) << "another test left lumivox.ini";
    std::ofstream(ini) << "[remote]\nenabled = true\nlisten = 127.0.0.1:" << port
                       << "\ntoken = " << kToken << "\n";
    struct Removed {
        fs::path file;
        ~Removed() { fs::remove(file); }
    } removed{ini};

    TempDir elsewhere;
    Started program(programPath, elsewhere.path());
    HWND window = program.waitForWindow(L"LumivoxV1.0", 60s);
    ASSERT_NE(window, nullptr);
    const std::string host = "127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(
        waitUntil([&] { return statusOf(port, "GET", "/api/state", kToken, host) == 200; }, 30s));

    const std::size_t before = recording.now();
    EXPECT_EQ(statusOf(port, "POST", "/api/effects/16/play", "", host), 401);
    EXPECT_EQ(statusOf(port, "POST", "/api/effects/16/play", kToken + "x", host), 401);
    EXPECT_EQ(statusOf(port, "POST", "/api/effects/16/play", kToken, "rebound.example:1"), 403);
    EXPECT_EQ(statusOf(port, "POST", "/api/effects/51/play", kToken, host), 404);
    std::vector<std::int16_t> samples;
    EXPECT_LT(recording.firstLoud(before, 0, 2s, samples), 0) << "a refused call played";

    const std::size_t mark = recording.now();
    EXPECT_EQ(statusOf(port, "POST", "/api/effects/16/play", kToken, host), 200);
    EXPECT_GE(recording.firstLoud(mark, 0, 10s, samples), 0) << "the effect is not heard";
    EXPECT_EQ(statusOf(port, "POST", "/api/stop", kToken, host), 200);

    // The settings window's block shows the QR code of the link, read back by
    // zbarimg from the screen as Wine draws it.
    const auto [left, top] = mainWindowCentre("设置按钮");
    clickAt(window, left, top);
    HWND settings = program.waitForWindow(L"设置", 20s);
    ASSERT_NE(settings, nullptr);
    const Image shown = settled(settings);
    const std::string picture = "/tmp/lumivox-remote-settings-" + std::to_string(port) + ".bmp";
    saveBmp(windowsPath(picture), shown.width, shown.height, shown.pixels.data());
    unixCommand(platform::widen("zbarimg --quiet --raw " + picture + " > " + picture + ".txt"));
    std::ifstream read(fs::path(windowsPath(picture + ".txt")));
    std::string link;
    std::getline(read, link);
    read.close();
    fs::remove(windowsPath(picture));
    fs::remove(windowsPath(picture + ".txt"));
    EXPECT_EQ(link, "http://" + host + "/#token=" + kToken);

    pressEscape(settings);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(settings); }, 10s));
    pressEscape(window);
    EXPECT_EQ(program.waitForExit(30s), 0);
    EXPECT_EQ(statusOf(port, "GET", "/api/state", kToken, host), 0)
        << "still listening after the end";
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
