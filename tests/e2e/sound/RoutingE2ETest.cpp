// Who hears a sound, end to end: the real program under a private X server and a
// private sound server (PulseAudio, and PipeWire through its PulseAudio server),
// set up by lumivox.ini as a host or an administrator would, its effect buttons
// clicked, and what the virtual microphone and the sinks carry recorded.
#include <gtest/gtest.h>

#include <signal.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "forms/Layout.hpp"
#include "tests/e2e/sound/SoundFixtures.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/SoundRecording.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kLoud = 800;
// The microphone's 300 Hz tone changes by at most ~700 from one sample to the
// next; the applause effect (button 21) by far more.
constexpr int kEffectStep = 1500;

enum class ServerKind { pulseAudio, pipeWire };

// A private sound server of either kind with a sine tone as the host's
// microphone ("mic", the default source), made the way each server allows.
class RoutingServer {
public:
    explicit RoutingServer(ServerKind kind) : kind_(kind) {
        if (kind == ServerKind::pulseAudio) {
            pulse_ = std::make_unique<PulseServer>();
            ok_ = pulse_->ok() &&
                  pactl("load-module module-sine-source source_name=mic frequency=300").status == 0;
        } else {
            pipeWire_ = std::make_unique<PipeWireServer>();
            // PipeWire's PulseAudio server has no sine source: a tone played into
            // a null sink, remapped into a real source.
            const fs::path tone = dir_ / "mic.wav";
            runCommand("sox -n -r 48000 -c 1 -b 16 '" + tone.string() +
                       "' synth 600 sine 300 vol 0.5 2>&1");
            ok_ = pipeWire_->ok() &&
                  pactl("load-module module-null-sink sink_name=micsink").status == 0 &&
                  pactl("load-module module-remap-source source_name=mic master=micsink.monitor")
                          .status == 0;
            if (ok_) {
                auto env = environment();
                player_ = std::make_unique<Subprocess>(
                    std::vector<std::string>{"paplay", "--device=micsink", tone.string()}, env);
            }
        }
        ok_ = ok_ && pactl("set-default-source mic").status == 0;
        if (ok_) {
            for (const auto& [key, value] : environment()) {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
    }

    bool ok() const { return ok_; }
    std::map<std::string, std::string> environment() const {
        return pulse_ ? pulse_->environment() : pipeWire_->environment();
    }
    CommandResult pactl(const std::string& arguments) const {
        return runCommand("PULSE_SERVER='" + environment().at("PULSE_SERVER") + "' pactl " +
                          arguments + " 2>&1");
    }
    // Sources of that exact name.
    int sourcesNamed(const std::string& name) const {
        const std::string list = pactl("list short sources").output;
        int count = 0;
        for (std::size_t at = 0; (at = list.find("\t" + name + "\t", at)) != std::string::npos;
             ++at) {
            ++count;
        }
        return count;
    }

private:
    ServerKind kind_;
    TempDir dir_;
    std::unique_ptr<PulseServer> pulse_;
    std::unique_ptr<PipeWireServer> pipeWire_;
    std::unique_ptr<Subprocess> player_;
    bool ok_ = false;
};

// Index of the first sample after `from` that differs from the one before by
// more than `step` (the effect over the microphone's tone), or -1 after `limit`.
long waitForStep(const SoundRecorder& recorder, std::size_t from, int step,
                 std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    do {
        const auto s = recorder.samples();
        for (std::size_t i = std::max<std::size_t>(from, 1); i < s.size(); ++i) {
            if (std::abs(s[i] - s[i - 1]) > step) {
                return static_cast<long>(i);
            }
        }
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < until);
    return -1;
}

std::size_t samplesOf(std::chrono::milliseconds duration) {
    return static_cast<std::size_t>(kRecordRate * static_cast<double>(duration.count()) / 1000.0);
}

class RoutingE2E : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        server_ = std::make_unique<RoutingServer>(GetParam());
        ASSERT_TRUE(server_->ok()) << "no private sound server";
        ASSERT_TRUE(display_.ok()) << "no X server";
    }

    void TearDown() override {
        quit();
        server_.reset();
    }

    void writeSettings(const std::string& audio) {
        fs::create_directories(config_.path() / "Lumivox");
        std::ofstream(config_.path() / "Lumivox" / "lumivox.ini") << "[audio]\n" << audio;
    }

    void start() {
        auto env = display_.environment();
        for (const auto& [key, value] : server_->environment()) {
            env[key] = value;
        }
        env.erase("PULSE_SINK");  // the program finds the server's default itself
        env["XDG_CONFIG_HOME"] = config_.path().string();
        program_ = std::make_unique<Subprocess>(
            std::vector<std::string>{(binaryDir() / "lumivox").string()}, env, work_ / "out.txt",
            work_ / "err.txt");
        ASSERT_TRUE(waitUntil([&] { return !windowId().empty(); }, 60s)) << log();
        std::this_thread::sleep_for(500ms);
    }

    void quit() {
        if (program_) {
            const std::string id = windowId();
            if (!id.empty()) {
                display_.x("xdotool windowfocus --sync " + id + " key Escape");
            }
            EXPECT_EQ(program_->wait(30s), 0) << log();
            program_.reset();
        }
    }

    void kill() {
        ::kill(program_->pid(), SIGKILL);
        program_->wait(10s);
        program_.reset();
    }

    std::string windowId() {
        const std::string ids = display_.x("xdotool search --onlyvisible --name LumivoxV1.0");
        return ids.substr(0, ids.find('\n'));
    }

    void click(const std::string& control) {
        const auto [cx, cy] = centreOf(layout::mainWindowLayout(), control);
        ASSERT_GE(cx, 0) << control;
        const WindowGeometry window = display_.geometry("LumivoxV1.0");
        display_.x("xdotool mousemove " + std::to_string(window.x + cx) + " " +
                   std::to_string(window.y + cy) + " click 1");
    }

    bool oneMicrophone() {
        return waitUntil([&] { return server_->sourcesNamed("lumivox_mic") == 1; }, 10s);
    }
    bool noMicrophone() {
        return waitUntil([&] { return server_->sourcesNamed("lumivox_mic") == 0; }, 10s);
    }

    // Clicks the applause effect and gives the RMS of its first second at the
    // monitor sink (0 when it was not heard there within 5 s), having checked
    // that the virtual microphone carried the effect after the click and the
    // microphone's tone all along.
    double clickEffectHeardInMicrophone(bool monitorHears) {
        SoundRecorder mic("lumivox_mic");
        SoundRecorder out("out.monitor");
        EXPECT_TRUE(mic.ok() && out.ok());
        std::this_thread::sleep_for(1s);
        const std::size_t micMark = mic.sampleCount(), outMark = out.sampleCount();
        click("官方音按钮21");
        const long micOnset = waitForStep(mic, micMark, kEffectStep, 5s);
        EXPECT_GE(micOnset, 0) << "the effect did not reach the virtual microphone (largest step "
                               << [&] {
                                      const auto s = mic.samples();
                                      int most = 0;
                                      for (std::size_t i = micMark + 1; i < s.size(); ++i) {
                                          most = std::max(most, std::abs(s[i] - s[i - 1]));
                                      }
                                      return most;
                                  }() << ")";
        double level = 0;
        const long outOnset = out.waitForLoud(outMark, kLoud, monitorHears ? 5s : 3s);
        if (monitorHears) {
            EXPECT_GE(outOnset, 0) << "the monitor did not hear the effect";
        } else {
            EXPECT_LT(outOnset, 0) << "the monitor heard the effect though switched off";
        }
        if (outOnset >= 0) {
            EXPECT_TRUE(waitUntil(
                [&] { return out.sampleCount() > static_cast<std::size_t>(outOnset) + samplesOf(1s); },
                5s));
            level = rms(out.samples(), static_cast<std::size_t>(outOnset),
                        static_cast<std::size_t>(outOnset) + samplesOf(1s));
        }
        // The tone in every 100 ms of the microphone from before the click to
        // two seconds after the effect came (its share of the sound falls while
        // the applause is loud; a tone that drops out leaves next to none).
        if (micOnset >= 0) {
            const std::size_t end = static_cast<std::size_t>(micOnset) + samplesOf(2s);
            waitUntil([&] { return mic.sampleCount() > end; }, 5s);
            const auto s = mic.samples();
            for (std::size_t at = micMark - samplesOf(500ms); at + samplesOf(100ms) <= end;
                 at += samplesOf(100ms)) {
                const double strength = toneStrength(s, at, at + samplesOf(100ms), 300);
                if (strength < 0.05) {
                    ADD_FAILURE() << "the microphone's tone is missing at sample " << at
                                  << " (strength " << strength << ")";
                    break;
                }
            }
        }
        return level;
    }

    std::string log() {
        std::ifstream in(work_ / "err.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::unique_ptr<RoutingServer> server_;
    PrivateDisplay display_;
    TempDir config_;
    TempDir work_;
    std::unique_ptr<Subprocess> program_;
};

TEST_P(RoutingE2E, EffectsIntoTheMicrophoneAtTheirVolumeAndOneMicrophoneAfterAKilledCopy) {
    // Nothing is loaded before the host asks for it.
    writeSettings("");
    ASSERT_NO_FATAL_FAILURE(start());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(server_->sourcesNamed("lumivox_mic"), 0);
    quit();

    writeSettings("effects_to_microphone=true\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(oneMicrophone());
    EXPECT_NE(server_->pactl("list sources").output.find("Description: Lumivox 麦克风\n"),
              std::string::npos);
    const double full = [&] {
        SCOPED_TRACE("full volume");
        return clickEffectHeardInMicrophone(true);
    }();
    quit();
    EXPECT_TRUE(noMicrophone()) << "the virtual microphone outlived the program";

    // Half the volume is half the amplitude (6 dB) at the sink; this copy is
    // then killed, and the next start still has exactly one microphone.
    writeSettings("effects_to_microphone=true\neffects_volume=50\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(oneMicrophone());
    const double half = [&] {
        SCOPED_TRACE("half volume");
        return clickEffectHeardInMicrophone(true);
    }();
    ASSERT_GT(full, 0);
    ASSERT_GT(half, 0);
    EXPECT_NEAR(20 * std::log10(full / half), 6.02, 1.0) << full << " against " << half;
    kill();
    EXPECT_EQ(server_->sourcesNamed("lumivox_mic"), 1) << "a killed copy leaves its modules";

    writeSettings("effects_to_microphone=true\nmonitor=false\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(oneMicrophone());
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(server_->sourcesNamed("lumivox_mic"), 1);
    {
        SCOPED_TRACE("monitor off");
        clickEffectHeardInMicrophone(false);
    }
    quit();
    EXPECT_TRUE(noMicrophone());
}

TEST_P(RoutingE2E, AMonitorDevicePulledOutWhilePlayingGivesWayToTheDefault) {
    const std::string index = server_->pactl("load-module module-null-sink sink_name=headset").output;
    ASSERT_FALSE(index.empty());
    writeSettings("monitor_device=headset\n");
    ASSERT_NO_FATAL_FAILURE(start());
    {
        SoundRecorder headset("headset.monitor");
        ASSERT_TRUE(headset.ok());
        const std::size_t mark = headset.sampleCount();
        click("官方音按钮9");  // a long one
        ASSERT_GE(headset.waitForLoud(mark, kLoud, 5s), 0) << "not heard on the chosen device";
        headset.stop();
    }
    SoundRecorder out("out.monitor");
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(server_->pactl("unload-module " + index).status, 0);
    std::this_thread::sleep_for(500ms);
    // What still plays of the long effect (on the default now, or nowhere) is
    // stopped first, so that what is heard next is the click's.
    click("官方音按钮51");
    ASSERT_GE(out.waitForQuiet(out.sampleCount(), kLoud / 4, samplesOf(300ms), 10s), 0);
    const std::size_t mark = out.sampleCount();
    click("官方音按钮21");
    EXPECT_GE(out.waitForLoud(mark, kLoud, 5s), 0) << "the next click was not heard on the default";
    // quit() (TearDown) checks that the program still ends at once.
}

// The settings window, as the host uses it: opened from the banner's corner,
// the microphone switched on and the effects' volume lowered by clicks; both
// land in lumivox.ini (beside what was there) and hold after a restart.
TEST_P(RoutingE2E, ClicksInTheSettingsWindowLandInTheFileAndHoldAfterARestart) {
    writeSettings("; prepared by the administrator\nsongs_volume=loud\n[remote]\nport=1234\n");
    ASSERT_NO_FATAL_FAILURE(start());
    click("设置按钮");
    ASSERT_TRUE(waitUntil([&] { return !display_.x("xdotool search --onlyvisible --name '^设置$'").empty(); },
                          10s));
    const WindowGeometry settings = display_.geometry("设置");
    auto clickSetting = [&](const std::string& control) {
        const auto [cx, cy] = centreOf(layout::settingsWindowLayout(), control);
        ASSERT_GE(cx, 0) << control;
        display_.x("xdotool mousemove " + std::to_string(settings.x + cx) + " " +
                   std::to_string(settings.y + cy) + " click 1");
        std::this_thread::sleep_for(300ms);
    };
    clickSetting("音频开关按钮1");  // effects into the microphone
    clickSetting("音频音量按钮1");  // effects' volume down a step
    EXPECT_TRUE(oneMicrophone()) << "switched on, and at once";
    const std::string file = wholeFile(config_.path() / "Lumivox" / "lumivox.ini");
    EXPECT_EQ(file,
              "[audio]\n; prepared by the administrator\nsongs_volume=loud\n"
              "effects_to_microphone=true\neffects_volume=90\n[remote]\nport=1234\n");
    quit();
    EXPECT_TRUE(noMicrophone());
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(oneMicrophone()) << "the switch did not hold after a restart";
}

INSTANTIATE_TEST_SUITE_P(Servers, RoutingE2E,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& info) {
                             return info.param == ServerKind::pulseAudio ? "PulseAudio"
                                                                         : "PipeWire";
                         });

}  // namespace
}  // namespace lumivox::testing
