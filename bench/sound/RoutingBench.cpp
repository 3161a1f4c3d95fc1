// Who hears a sound, in figures, on a private PulseAudio server with a sine
// tone as the host's microphone:
// - click to sound (median and maximum): an xdotool click on effect button 16
//   until the effect reaches "Lumivox 麦克风" and the monitor sink, beside the
//   same click with today's default (no virtual microphone, the default output);
// - the program's CPU while the virtual microphone carries the microphone's
//   tone with no effect playing (over a minute, from /proc/PID/stat), beside
//   the same minute with the virtual microphone switched off.
//   scripts/build release routing_bench && build/release/bench/sound/routing_bench [clicks] [seconds]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "forms/Layout.hpp"
#include "tests/e2e/sound/SoundFixtures.hpp"
#include "tests/support/PrivateDisplay.hpp"

namespace {

using namespace std::chrono_literals;
using namespace lumivox::testing;
using Clock = std::chrono::steady_clock;

constexpr int kLoud = 800;
constexpr int kStep = 1500;  // the effect over the microphone's 300 Hz tone

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? -1 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double maximum(const std::vector<double>& values) {
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

// User plus system CPU time of a process so far, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string field;
    double user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::stod(field);
        if (i == 15) system = std::stod(field);
    }
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long firstStep(const SoundRecorder& recorder, std::size_t from, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    std::size_t at = std::max<std::size_t>(from, 1);
    while (Clock::now() < until) {
        const auto s = recorder.samples();
        for (; at < s.size(); ++at) {
            if (std::abs(s[at] - s[at - 1]) > kStep) {
                return static_cast<long>(at);
            }
        }
        std::this_thread::sleep_for(2ms);
    }
    return -1;
}

struct Run {
    std::vector<double> microphone, monitor;
    double cpuPercent = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const int clicks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    SoundFixtures& sound = SoundFixtures::get();
    PrivateDisplay xvfb(1280, 1024);
    if (!sound.ok() || !xvfb.ok()) {
        std::fprintf(stderr, "no private sound server or X server\n");
        return 1;
    }
    const std::string pactl = "PULSE_SERVER='" + sound.server().environment().at("PULSE_SERVER") + "' pactl ";
    runCommand(pactl + "load-module module-sine-source source_name=mic frequency=300 >/dev/null");
    runCommand(pactl + "set-default-source mic");
    SoundRecorder& out = sound.recorder();
    auto x = [&](const std::string& command) {
        return runCommand("DISPLAY=" + xvfb.display() + " " + command + " 2>/dev/null").output;
    };

    auto measure = [&](const std::string& settings, bool microphone) {
        Run run;
        TempDir config;
        std::filesystem::create_directories(config.path() / "Lumivox");
        std::ofstream(config.path() / "Lumivox" / "lumivox.ini") << "[audio]\n" << settings;
        auto env = xvfb.environment();
        for (const auto& [key, value] : sound.server().environment()) {
            env[key] = value;
        }
        env["XDG_CONFIG_HOME"] = config.path().string();
        Subprocess program({LUMIVOX_PROGRAM}, env, "/dev/null", "/dev/null");
        std::string info;
        waitUntil([&] { return (info = x("xwininfo -name LumivoxV1.0")).find("IsViewable") != std::string::npos; },
                  60s);
        std::smatch mx, my;
        std::regex_search(info, mx, std::regex(R"(Absolute upper-left X:\s+(-?\d+))"));
        std::regex_search(info, my, std::regex(R"(Absolute upper-left Y:\s+(-?\d+))"));
        const auto [bx, by] = centreOf(lumivox::layout::mainWindowLayout(), "官方音按钮16");
        x("xdotool mousemove " + std::to_string(std::stoi(mx[1]) + bx) + " " +
          std::to_string(std::stoi(my[1]) + by));
        std::unique_ptr<SoundRecorder> mic;
        if (microphone) {
            waitUntil([&] { return runCommand(pactl + "list short sources").output.find("lumivox_mic\t") != std::string::npos; }, 10s);
            mic = std::make_unique<SoundRecorder>("lumivox_mic");
        }
        std::this_thread::sleep_for(1s);
        for (int round = 0; round < clicks; ++round) {
            std::this_thread::sleep_for(700ms);
            const std::size_t fromOut = out.sampleCount();
            const std::size_t fromMic = mic ? mic->sampleCount() : 0;
            const auto start = Clock::now();
            Subprocess clicker({"xdotool", "click", "1"}, env);
            const long heard = out.waitForLoud(fromOut, kLoud, 5s);
            if (heard >= 0) {
                run.monitor.push_back(ms(out.arrivalOf(static_cast<std::size_t>(heard)) - start));
            }
            if (mic) {
                const long got = firstStep(*mic, fromMic, 5s);
                if (got >= 0) {
                    run.microphone.push_back(ms(mic->arrivalOf(static_cast<std::size_t>(got)) - start));
                }
            }
            clicker.wait(5s);
        }
        // The effect's last sound ends, the outputs close; then a quiet minute.
        std::this_thread::sleep_for(4s);
        const double before = cpuSeconds(program.pid());
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        run.cpuPercent = (cpuSeconds(program.pid()) - before) * 100.0 / seconds;
        program.terminate();
        return run;
    };

    const Run today = measure("", false);
    const Run routed = measure("effects_to_microphone=true\n", true);
    std::printf("clicks: %d\n", clicks);
    std::printf("click_to_sound_default_output_median: %.1f ms\n", median(today.monitor));
    std::printf("click_to_sound_default_output_max: %.1f ms\n", maximum(today.monitor));
    std::printf("click_to_sound_microphone_median: %.1f ms\n", median(routed.microphone));
    std::printf("click_to_sound_microphone_max: %.1f ms\n", maximum(routed.microphone));
    std::printf("click_to_sound_monitor_median: %.1f ms\n", median(routed.monitor));
    std::printf("click_to_sound_monitor_max: %.1f ms\n", maximum(routed.monitor));
    std::printf("click_to_sound_ratio_microphone_to_default: %.2f x\n",
                median(routed.microphone) / median(today.monitor));
    std::printf("heard: default %zu, microphone %zu, monitor %zu of %d\n", today.monitor.size(),
                routed.microphone.size(), routed.monitor.size(), clicks);
    std::printf("cpu_idle_microphone_on: %.3f %% over %d s\n", routed.cpuPercent, seconds);
    std::printf("cpu_idle_microphone_off: %.3f %% over %d s\n", today.cpuPercent, seconds);
    return 0;
}
