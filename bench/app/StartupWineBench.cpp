// Start-up under Wine: Lumivox.exe to its window shown (and to its tab row
// painted, pictures decoded) beside a minimal Win32 window, and the minimal
// window with as many child windows as the main window makes at start (Wine's
// own cost of them), taking turns in the same run. LUMIVOX_STARTUP_BASELINE may
// name another build of Lumivox.exe (an earlier one) to take turns with them.
// Run on a private X screen with the version file served (one command line):
//   scripts/wine-with-display scripts/wine-with-nginx
//     build/windows/tests/e2e/app/app_startup_wine_bench.exe build/windows/Lumivox.exe
//     build/windows/tests/e2e/app/app_minimal_win32_window.exe [runs]
// Prints `name: value unit` lines and the ratios against the minimal windows.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace lumivox::testing;

// The child windows of the main window at start: 97 image buttons, 34
// transparent labels, 4 picture boxes, 3 group boxes, a label and a progress
// bar (the edit boxes of the hidden page come later).
constexpr int kChildrenAtStart = 140;

struct Peer {
    std::string label, program;
    const wchar_t* title;
    std::wstring arguments;
    std::vector<double> shown;
    std::vector<double> painted;  // Lumivox's
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: app_startup_wine_bench Lumivox.exe minimal-window.exe [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    const char* root = std::getenv("LUMIVOX_NGINX_ROOT");
    const char* url = std::getenv("LUMIVOX_NGINX_URL");
    if (root == nullptr || url == nullptr || std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "run through scripts/wine-with-display scripts/wine-with-nginx\n");
        return 2;
    }
    // A version that is not this one's: the program runs on after its check.
    std::ofstream(fs::path(windowsPath(root)) / "111.txt", std::ios::binary)
        << "2---http://127.0.0.1:1/none.exe---Lumivox";
    std::string host = url;
    host.erase(0, host.find("//") + 2);
    SetEnvironmentVariableW(L"LUMIVOX_SERVER", std::wstring(host.begin(), host.end()).c_str());
    makeDpiAware();

    std::vector<Peer> peers = {
        {"Lumivox.exe", argv[1], L"LumivoxV1.0", L"", {}, {}},
        {"minimal Win32 window", argv[2], L"MinimalWin32Window", L"", {}, {}},
        {"minimal window with " + std::to_string(kChildrenAtStart) + " children", argv[2],
         L"MinimalWin32Window", std::to_wstring(kChildrenAtStart), {}, {}}};
    if (const char* baseline = std::getenv("LUMIVOX_STARTUP_BASELINE")) {
        peers.push_back({std::string("baseline ") + baseline, baseline, L"LumivoxV1.0", L"", {}, {}});
    }
    TempDir elsewhere;
    for (int run = 0; run < runs; ++run) {
        for (Peer& peer : peers) {
            Started program(peer.program, elsewhere.path(), peer.arguments);
            HWND window = program.waitForWindow(peer.title, 60s);
            if (window == nullptr) {
                std::fprintf(stderr, "%s: no window\n", peer.label.c_str());
                return 1;
            }
            peer.shown.push_back(program.shownAfter().count());
            if (std::wstring(peer.title) == L"LumivoxV1.0") {
                if (!waitUntil([&] { return capture(window).at(58, 72 + 40) != 0; }, 30s)) {
                    std::fprintf(stderr, "%s: the tab row was never painted\n", peer.label.c_str());
                    return 1;
                }
                peer.painted.push_back(program.elapsed().count());
            }
            pressEscape(window);
            if (program.waitForExit(30s) != 0) {
                std::fprintf(stderr, "%s: did not end with Esc\n", peer.label.c_str());
                return 1;
            }
        }
    }
    std::printf("# start-up under Wine, median of %d runs, taking turns\n", runs);
    for (const Peer& peer : peers) {
        std::printf("startup to window shown, %s: %.0f ms\n", peer.label.c_str(), median(peer.shown));
    }
    for (const Peer& peer : peers) {
        if (!peer.painted.empty()) {
            std::printf("startup to tab row painted, %s: %.0f ms\n", peer.label.c_str(),
                        median(peer.painted));
        }
    }
    std::printf("ratio Lumivox.exe / minimal window: %.2f\n",
                median(peers[0].shown) / median(peers[1].shown));
    std::printf("ratio Lumivox.exe / minimal window with children: %.2f\n",
                median(peers[0].shown) / median(peers[2].shown));
    // Every turn's own ratio (Lumivox.exe against the minimal window started
    // right after it), so that one slow start is seen and not hidden by a median.
    int above = 0;
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        const double ratio = peers[0].shown[run] / peers[1].shown[run];
        std::printf("run %d ratio Lumivox.exe / minimal window: %.2f\n", run, ratio);
        worst = std::max(worst, ratio);
        above += ratio > 1.5 ? 1 : 0;
    }
    std::printf("worst run ratio Lumivox.exe / minimal window: %.2f\n", worst);
    std::printf("runs above 1.5 x the minimal window: %d count\n", above);
    return 0;
}
