// The sound board's figures, each beside a peer measured in the same run:
// - click to sound: a click on an effect button of the real window until the
//   sound reaches the sound server's monitor, beside paplay of the same effect
//   file from its start: the click once from an xdotool process (so both pay a
//   process start) and once sent by this process itself through XTest (the
//   program's own time from the click, as a host's click has no process start);
// - start-up to the window mapped, and peak memory, beside the same program
//   built without the 50 effects (alternating runs, medians);
// - the executables' sizes and the effect generator's time.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
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

// Where the first sample at or above `level` lies in a 16-bit PCM WAV file, in
// ms from the start of its samples: the part of any click-to-sound time that
// is the sound's own lead-in, the same for every player. -1 when none.
double firstLoudMs(const std::string& path, int level) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t at = 12;
    int channels = 0, rate = 0;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (id == "fmt " && at + 16 <= bytes.size()) {
            std::uint16_t count = 0;
            std::uint32_t perSecond = 0;
            std::memcpy(&count, bytes.data() + at + 10, 2);
            std::memcpy(&perSecond, bytes.data() + at + 12, 4);
            channels = count, rate = static_cast<int>(perSecond);
        } else if (id == "data" && channels > 0 && rate > 0) {
            const std::size_t end = std::min<std::size_t>(bytes.size(), at + 8 + size);
            for (std::size_t i = at + 8; i + 2 <= end; i += 2) {
                std::int16_t sample = 0;
                std::memcpy(&sample, bytes.data() + i, 2);
                if (std::abs(sample) >= level) {
                    return static_cast<double>((i - at - 8) / 2 / channels) * 1000.0 / rate;
                }
            }
            return -1;
        }
        at += 8 + size + (size & 1);
    }
    return -1;
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
        Display* clicks = XOpenDisplay(xvfb.display().c_str());
        if (clicks == nullptr) {
            std::fprintf(stderr, "cannot open the private X display\n");
            return 1;
        }
        std::vector<double> ours, direct, paplay;
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
            XTestFakeButtonEvent(clicks, 1, True, CurrentTime);
            XTestFakeButtonEvent(clicks, 1, False, CurrentTime);
            XFlush(clicks);
            direct.push_back(untilLoud(from, start));
            std::this_thread::sleep_for(600ms);
            from = recorder.sampleCount();
            start = Clock::now();
            Subprocess peer({"paplay", effect}, sound.server().environment());
            paplay.push_back(untilLoud(from, start));
            peer.wait(5s);
        }
        XCloseDisplay(clicks);
        program.terminate();
        std::printf("runs: %d\n", runs);
        std::printf("click_to_sound_window_button16: %.1f ms\n", median(ours));
        std::printf("click_to_sound_paplay_16wav: %.1f ms\n", median(paplay));
        std::printf("click_to_sound_ratio_window_to_paplay: %.2f x\n",
                    median(ours) / median(paplay));
        std::printf("click_to_sound_window_button16_xtest: %.1f ms\n", median(direct));
        std::printf("click_to_sound_ratio_window_xtest_to_paplay: %.2f x\n",
                    median(direct) / median(paplay));
        // The same times less the file's own lead-in before its first loud sample.
        const double leadIn = firstLoudMs(effect, kLoud);
        std::printf("effect16_lead_in: %.1f ms\n", leadIn);
        std::printf("click_to_first_sample_window_xtest: %.1f ms\n", median(direct) - leadIn);
        std::printf("click_to_first_sample_window_xdotool: %.1f ms\n", median(ours) - leadIn);
        std::printf("click_to_first_sample_paplay: %.1f ms\n", median(paplay) - leadIn);
        std::printf("click_to_first_sample_ratio_window_xtest_to_paplay: %.2f x\n",
                    (median(direct) - leadIn) / (median(paplay) - leadIn));
        std::printf("click_to_first_sample_ratio_window_xdotool_to_paplay: %.2f x\n",
                    (median(ours) - leadIn) / (median(paplay) - leadIn));
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
