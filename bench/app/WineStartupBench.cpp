// Lumivox.exe under Wine beside a minimal Win32 window: start-up to the window
// shown, taking turns in the same run, with every run's ratio (each Lumivox.exe
// start against the minimal window's start that follows it) as well as the
// medians, so that one slow start is seen and not hidden by a median.
// Run through the display and web-site wrappers (the version file offers no
// update, so the program runs on):
//   scripts/build windows app_wine_startup_bench
//   scripts/wine-with-display scripts/wine-with-nginx
//     build/windows/bench/app/app_wine_startup_bench.exe build/windows/lumivox.exe
//     build/windows/tests/e2e/app/app_minimal_win32_window.exe [runs]     (one line)
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

using namespace lumivox::testing;
using namespace std::chrono_literals;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Milliseconds from the start to the window shown, or -1.
double startOnce(const std::string& program, const wchar_t* title,
                 const std::filesystem::path& folder) {
    Started started(program, folder, L"");
    HWND window = started.waitForWindow(title, 60s);
    if (window == nullptr) {
        return -1;
    }
    const double shown = started.shownAfter().count();
    pressEscape(window);
    return started.waitForExit(30s) == 0 ? shown : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: app_wine_startup_bench LUMIVOX.EXE MINIMAL_WINDOW.EXE [runs]\n");
        return 2;
    }
    const std::string lumivox = argv[1];
    const std::string minimal = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    const char* root = std::getenv("LUMIVOX_NGINX_ROOT");
    const char* url = std::getenv("LUMIVOX_NGINX_URL");
    if (root == nullptr || url == nullptr || std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "run through scripts/wine-with-display scripts/wine-with-nginx\n");
        return 2;
    }
    // A version that is not this one's: the program runs on after its check.
    std::ofstream(std::filesystem::path(windowsPath(root)) / "111.txt", std::ios::binary)
        << "2---http://127.0.0.1:1/none.exe---Lumivox";
    std::string host = url;
    host.erase(0, host.find("//") + 2);
    SetEnvironmentVariableW(L"LUMIVOX_SERVER", lumivox::platform::widen(host).c_str());
    makeDpiAware();
    TempDir elsewhere;

    // One start of each first: Wine's own first-start costs are no one's figure.
    if (startOnce(lumivox, L"LumivoxV1.0", elsewhere.path()) < 0 ||
        startOnce(minimal, L"MinimalWin32Window", elsewhere.path()) < 0) {
        std::fprintf(stderr, "a program did not show its window or did not end\n");
        return 1;
    }
    std::vector<double> ours, peer, ratios;
    for (int run = 0; run < runs; ++run) {
        const double a = startOnce(lumivox, L"LumivoxV1.0", elsewhere.path());
        const double b = startOnce(minimal, L"MinimalWin32Window", elsewhere.path());
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "run %d: a program did not show its window or did not end\n", run);
            return 1;
        }
        ours.push_back(a);
        peer.push_back(b);
        ratios.push_back(a / b);
        std::printf("run_%d: lumivox %.0f ms, minimal_win32 %.0f ms, ratio %.2f x\n", run, a, b,
                    a / b);
    }
    std::printf("runs: %d\n", runs);
    std::printf("wine_startup_to_window_lumivox: %.0f ms\n", median(ours));
    std::printf("wine_startup_to_window_minimal_win32: %.0f ms\n", median(peer));
    std::printf("wine_startup_ratio_lumivox_vs_minimal_win32: %.2f x\n",
                median(ours) / median(peer));
    std::printf("wine_startup_ratio_worst_run: %.2f x\n",
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("wine_startup_runs_above_1_5x: %ld count\n",
                static_cast<long>(std::count_if(ratios.begin(), ratios.end(),
                                                [](double r) { return r > 1.5; })));
    return 0;
}
