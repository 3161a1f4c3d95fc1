// Times each program from its start to its first top-level window being mapped
// (seen as a MapNotify on the root window of a private X server), then reads its
// peak resident memory once it has settled. Prints medians of several runs of
// Lumivox and of a minimal Qt window, taken alternately, and their ratios, and
// the number of shared libraries each has loaded once settled.
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace {

using namespace lumivox::testing;
using Clock = std::chrono::steady_clock;

struct Sample {
    double startupMs = -1;
    long peakRssKb = -1;
    long sharedLibraries = -1;
};

// VmHWM of a running process, in kB.
long peakRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Distinct shared-object files mapped into a running process.
long sharedLibraryCount(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> files;
    for (std::string line; std::getline(maps, line);) {
        const std::size_t slash = line.find('/');
        if (slash != std::string::npos && line.find(".so", slash) != std::string::npos) {
            files.insert(line.substr(slash));
        }
    }
    return static_cast<long>(files.size());
}

Sample measure(Display* display, const std::string& program,
               const std::map<std::string, std::string>& env) {
    XSync(display, True);  // drop events of earlier runs
    const auto started = Clock::now();
    Subprocess child({program}, env, "/dev/null", "/dev/null");
    Sample sample;
    const int fd = ConnectionNumber(display);
    while (sample.startupMs < 0 && Clock::now() - started < std::chrono::seconds(30)) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(display)) {
                sample.startupMs =
                    std::chrono::duration<double, std::milli>(Clock::now() - started).count();
                break;
            }
        }
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, 5);
    }
    // Settle (Lumivox's start-up timer runs its 100 ticks), then read the peak.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sample.peakRssKb = peakRssKb(child.pid());
    sample.sharedLibraries = sharedLibraryCount(child.pid());
    child.terminate();
    return sample;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    PrivateDisplay xvfb(1280, 1024);
    TempDir config;
    auto env = xvfb.environment();
    env["XDG_CONFIG_HOME"] = config.path().string();
    Display* display = nullptr;
    for (int attempt = 0; attempt < 300 && display == nullptr; ++attempt) {
        display = XOpenDisplay(xvfb.display().c_str());
        if (display == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the private X display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    struct Peer {
        const char* name;
        std::string program;
        std::vector<double> startup, rss, libraries;
    };
    Peer peers[] = {{"lumivox", LUMIVOX_PROGRAM, {}, {}, {}},
                    {"minimal_qt", MINIMAL_QT_WINDOW, {}, {}, {}}};
    measure(display, peers[0].program, env);  // warm the file cache and font cache
    measure(display, peers[1].program, env);
    for (int run = 0; run < runs; ++run) {
        for (Peer& peer : peers) {
            const Sample sample = measure(display, peer.program, env);
            if (sample.startupMs < 0) {
                std::fprintf(stderr, "%s: no window within 30 s\n", peer.name);
                return 1;
            }
            peer.startup.push_back(sample.startupMs);
            peer.rss.push_back(static_cast<double>(sample.peakRssKb));
            peer.libraries.push_back(static_cast<double>(sample.sharedLibraries));
        }
    }
    XCloseDisplay(display);
    std::printf("runs: %d\n", runs);
    for (const Peer& peer : peers) {
        std::printf("startup_to_window_%s: %.1f ms\n", peer.name, median(peer.startup));
        std::printf("peak_rss_%s: %.0f kB\n", peer.name, median(peer.rss));
        std::printf("shared_libraries_%s: %.0f count\n", peer.name, median(peer.libraries));
    }
    std::printf("startup_ratio_lumivox_vs_minimal_qt: %.2f x\n",
                median(peers[0].startup) / median(peers[1].startup));
    std::printf("peak_rss_ratio_lumivox_vs_minimal_qt: %.2f x\n",
                median(peers[0].rss) / median(peers[1].rss));
    return 0;
}
