// The sound board's figures, each beside a peer measured in the same run:
// - click to sound: an xdotool click on an effect button of the real window
//   until the sound reaches the sound server's monitor, beside paplay of the
//   same effect file from its start;
// - start-up to the window mapped, and peak memory, beside the same program
//   built without the 50 effects (alternating runs, medians);
// - the executables' sizes and the effect generator's time.
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/sound/SoundFixtures.hpp"
#include "tests/support/PrivateDisplay.hpp"

namespace {

using namespace std::chrono_literals;
using namespace lumivox::testing;
using Clock = std::chrono::steady_clock;

constexpr int kLoud = 800;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? -1 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long peakRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Starts `program`; the time until a top-level window is mapped and the peak
// memory once settled. The program is ended before this returns.
std::pair<double, double> startup(Display* display, const std::string& program,
                                  const std::map<std::string, std::string>& env) {
    XSync(display, True);
    const auto started = Clock::now();
    Subprocess child({program}, env, "/dev/null", "/dev/null");
    double mapped = -1;
    while (mapped < 0 && Clock::now() - started < 30s) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(display)) {
                mapped = ms(Clock::now() - started);
            }
        }
        pollfd wait{ConnectionNumber(display), POLLIN, 0};
        poll(&wait, 1, 5);
    }
    std::this_thread::sleep_for(1500ms);
    const double rss = static_cast<double>(peakRssKb(child.pid()));
    child.terminate();
    return {mapped, rss};
}

long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    SoundFixtures& sound = SoundFixtures::get();
    PrivateDisplay xvfb(1280, 1024);
    if (!sound.ok() || !xvfb.ok()) {
        std::fprintf(stderr, "no private sound server or X server\n");
        return 1;
    }
    SoundRecorder& recorder = sound.recorder();
    TempDir config;
    auto env = xvfb.environment();
    for (const auto& [key, value] : sound.server().environment()) {
        env[key] = value;
    }
    env["XDG_CONFIG_HOME"] = config.path().string();
    auto x = [&](const std::string& command) {
        return runCommand("DISPLAY=" + xvfb.display() + " " + command + " 2>/dev/null").output;
    };

    // Click to sound on button 16 (狗叫, sounding from its first milliseconds).
    {
        Subprocess program({LUMIVOX_PROGRAM}, env, "/dev/null", "/dev/null");
        std::string info;
        waitUntil(
            [&] {
                return (info = x("xwininfo -name LumivoxV1.0")).find("IsViewable") !=
                       std::string::npos;
            },
            60s);
        std::smatch mx, my;
        std::regex_search(info, mx, std::regex(R"(Absolute upper-left X:\s+(-?\d+))"));
        std::regex_search(info, my, std::regex(R"(Absolute upper-left Y:\s+(-?\d+))"));
        // 官方音按钮16: row 3, column 4 of the effects page at (8, 128).
        const int cx = std::stoi(mx[1]) + 8 + 320 + 48, cy = std::stoi(my[1]) + 128 + 96 + 16;
        x("xdotool mousemove " + std::to_string(cx) + " " + std::to_string(cy));
        std::this_thread::sleep_for(1s);
        const std::string effect = std::string(EFFECTS_DIR) + "/16.wav";
        std::vector<double> ours, paplay;
        auto untilLoud = [&](std::size_t from, Clock::time_point start) {
            const long loud = recorder.waitForLoud(from, kLoud, 5s);
            return loud < 0 ? -1 : ms(recorder.arrivalOf(static_cast<std::size_t>(loud)) - start);
        };
        for (int round = 0; round < runs; ++round) {
            std::this_thread::sleep_for(600ms);
            std::size_t from = recorder.sampleCount();
            auto start = Clock::now();
            // Started as paplay is (no shell), so both pay one process start.
            Subprocess clicker({"xdotool", "click", "1"}, env);
            ours.push_back(untilLoud(from, start));
            clicker.wait(5s);
            std::this_thread::sleep_for(600ms);
            from = recorder.sampleCount();
            start = Clock::now();
            Subprocess peer({"paplay", effect}, sound.server().environment());
            paplay.push_back(untilLoud(from, start));
            peer.wait(5s);
        }
        program.terminate();
        std::printf("runs: %d\n", runs);
        std::printf("click_to_sound_window_button16: %.1f ms\n", median(ours));
        std::printf("click_to_sound_paplay_16wav: %.1f ms\n", median(paplay));
        std::printf("click_to_sound_ratio_window_to_paplay: %.2f x\n",
                    median(ours) / median(paplay));
    }

    // Start-up and peak memory with and without the embedded effects.
    {
        Display* display = nullptr;
        for (int attempt = 0; attempt < 300 && display == nullptr; ++attempt) {
            display = XOpenDisplay(xvfb.display().c_str());
            std::this_thread::sleep_for(display == nullptr ? 20ms : 0ms);
        }
        if (display == nullptr) {
            std::fprintf(stderr, "cannot open the private X display\n");
            return 1;
        }
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        std::vector<double> withStart, withRss, withoutStart, withoutRss;
        startup(display, LUMIVOX_PROGRAM, env);  // warm the caches
        startup(display, LUMIVOX_WITHOUT_EFFECTS, env);
        for (int run = 0; run < runs; ++run) {
            auto [a, b] = startup(display, LUMIVOX_PROGRAM, env);
            withStart.push_back(a), withRss.push_back(b);
            auto [c, d] = startup(display, LUMIVOX_WITHOUT_EFFECTS, env);
            withoutStart.push_back(c), withoutRss.push_back(d);
        }
        XCloseDisplay(display);
        std::printf("startup_to_window_with_effects: %.1f ms\n", median(withStart));
        std::printf("startup_to_window_without_effects: %.1f ms\n", median(withoutStart));
        std::printf("startup_ratio_with_to_without_effects: %.3f x\n",
                    median(withStart) / median(withoutStart));
        std::printf("peak_rss_with_effects: %.0f kB\n", median(withRss));
        std::printf("peak_rss_without_effects: %.0f kB\n", median(withoutRss));
        std::printf("peak_rss_ratio_with_to_without_effects: %.3f x\n",
                    median(withRss) / median(withoutRss));
    }

    std::printf("executable_with_effects: %ld bytes\n", fileSize(LUMIVOX_PROGRAM));
    std::printf("executable_without_effects: %ld bytes\n", fileSize(LUMIVOX_WITHOUT_EFFECTS));

    // The generator, as the build runs it (the output goes to a scratch folder).
    TempDir scratch;
    const auto started = Clock::now();
    const CommandResult made =
        runCommand(std::string(EFFECT_GENERATOR) + " '" + scratch.path().string() + "' 2>&1");
    std::printf("effect_generator_wall: %.2f s%s\n",
                std::chrono::duration<double>(Clock::now() - started).count(),
                made.status == 0 ? "" : " (failed)");
    return made.status == 0 ? 0 : 1;
}
