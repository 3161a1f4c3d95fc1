// The real program under a private X server and a private sound server, driven
// with xdotool and judged by what the sound server plays: the effect buttons,
// the stop button, and a song slot chosen through Qt's own dialog that survives
// a restart.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "base/Encoding.hpp"
#include "forms/Layout.hpp"
#include "tests/e2e/sound/SoundFixtures.hpp"
#include "tests/support/PrivateDisplay.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kLoud = 800;

std::size_t samplesOf(std::chrono::milliseconds duration) {
    return static_cast<std::size_t>(kRecordRate * static_cast<double>(duration.count()) / 1000.0);
}

class SoundBoardE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SoundFixtures::get().ok()) << "no private sound server";
        ASSERT_TRUE(display_.ok()) << "no X server";
        recorder_ = &SoundFixtures::get().recorder();
        ASSERT_TRUE(recorder_->ok()) << "parec did not start";
    }

    void TearDown() override { quit(); }

    void start() {
        auto env = display_.environment();
        for (const auto& [key, value] : SoundFixtures::get().server().environment()) {
            env[key] = value;
        }
        env["XDG_CONFIG_HOME"] = config_.path().string();
        program_ = std::make_unique<Subprocess>(
            std::vector<std::string>{(binaryDir() / "lumivox").string()}, env, work_ / "out.txt",
            work_ / "err.txt");
        ASSERT_TRUE(waitUntil([&] { return !windowId().empty(); }, 60s)) << log();
        // Painted once the tab row shows (the banner and tabs come first).
        std::this_thread::sleep_for(500ms);
    }

    void quit() {
        if (program_) {
            const std::string id = windowId();
            if (!id.empty()) {
                x("xdotool windowfocus --sync " + id + " key Escape");
            }
            EXPECT_EQ(program_->wait(30s), 0) << log();
            program_.reset();
        }
    }

    std::string x(const std::string& command) { return display_.x(command); }

    std::string windowId() {
        const std::string ids = x("xdotool search --onlyvisible --name LumivoxV1.0");
        return ids.substr(0, ids.find('\n'));
    }

    // Clicks a control of the main window `times` times.
    void click(const std::string& control, int times = 1) {
        const auto [cx, cy] = centreOf(layout::mainWindowLayout(), control);
        ASSERT_GE(cx, 0) << control;
        const WindowGeometry window = display_.geometry("LumivoxV1.0");
        x("xdotool mousemove " + std::to_string(window.x + cx) + " " +
          std::to_string(window.y + cy) + " click --repeat " + std::to_string(times) +
          " --delay 120 1");
    }

    // Index of the first loud sample after `from`, or -1.
    long waitForSound(std::size_t from, std::chrono::milliseconds limit = 5s) {
        return recorder_->waitForLoud(from, kLoud, limit);
    }
    bool waitForSilence(std::size_t from, std::chrono::milliseconds limit = 15s) {
        return recorder_->waitForQuiet(from, kLoud / 4, samplesOf(400ms), limit) >= 0;
    }

    std::string log() {
        std::ifstream in(work_ / "err.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path settingsFile() const { return config_.path() / "Lumivox" / "自定义配置.txt"; }

    PrivateDisplay display_;
    TempDir config_;
    TempDir work_;
    std::unique_ptr<Subprocess> program_;
    SoundRecorder* recorder_ = nullptr;
};

TEST_F(SoundBoardE2E, EffectButtonsSoundAndOverlap) {
    ASSERT_NO_FATAL_FAILURE(start());
    // Button 1 (8-bit, 11,025 Hz) and button 2 (ADPCM) sound like the rest.
    for (const char* button : {"官方音按钮1", "官方音按钮2", "官方音按钮16"}) {
        SCOPED_TRACE(button);
        const std::size_t mark = recorder_->sampleCount();
        click(button);
        const long onset = waitForSound(mark);
        ASSERT_GE(onset, 0) << "no sound";
        ASSERT_TRUE(waitForSilence(static_cast<std::size_t>(onset)));
    }
    // Button 37 three times: three overlapping crowds, louder than one.
    auto level = [&](int clicks) {
        const std::size_t mark = recorder_->sampleCount();
        click("官方音按钮37", clicks);
        const long onset = waitForSound(mark);
        EXPECT_GE(onset, 0);
        const auto from = static_cast<std::size_t>(std::max(0L, onset)) + samplesOf(600ms);
        const std::size_t to = from + samplesOf(2500ms);
        EXPECT_TRUE(waitUntil([&] { return recorder_->sampleCount() > to; }, 10s));
        const double value = rms(recorder_->samples(), from, to);
        EXPECT_TRUE(waitForSilence(to));
        return value;
    };
    const double one = level(1);
    const double three = level(3);
    EXPECT_GT(one, 300.0);
    EXPECT_GT(three, one * 1.3) << "three copies should add up: " << one << " vs " << three;
}

TEST_F(SoundBoardE2E, SongSlotChosenInTheDialogPlaysStopsAndSurvivesARestart) {
    TempDir songs;
    // ASCII: xdotool types other characters through a remapped key, which races.
    fs::create_directories(songs.path() / "list" / "live");
    const fs::path song = songs.path() / "list" / "live" / "slot.mp3";
    fs::copy_file(SoundFixtures::get().song("slot-source.mp3", 30, 500), song);

    ASSERT_NO_FATAL_FAILURE(start());
    click("特定按钮3");  // the song slots page
    std::this_thread::sleep_for(300ms);
    click("自定义歌曲名字1");
    // Qt's own dialog: type the path into its file name box.
    // Limits, not measures: Qt's dialog takes many seconds to show under the
    // sanitizers on a busy machine.
    ASSERT_TRUE(
        waitUntil([&] { return !x("xdotool search --onlyvisible --name '^Open$'").empty(); }, 60s))
        << "no dialog";
    const std::string dialog = x("xdotool search --onlyvisible --name '^Open$'");
    x("xdotool windowfocus --sync " + dialog.substr(0, dialog.find('\n')));
    std::this_thread::sleep_for(300ms);  // the file name box takes the focus as it shows
    x("xdotool type --delay 20 '" + song.string() + "'");
    x("xdotool key Return");
    if (!waitUntil([&] { return fs::exists(settingsFile()); }, 60s)) {
        x("import -window root " + (work_ / "dialog.png").string());
        FAIL() << "no settings file; the screen is in " << (work_ / "dialog.png") << log();
    }
    std::ifstream in(settingsFile(), std::ios::binary);
    const std::string saved(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(saved.find(utf8ToGbk(song.string())), std::string::npos);
    EXPECT_EQ(saved.find("slot.mp3"), saved.find(utf8ToGbk("\xEF\xBF\xA5")) - 8)
        << "slot 1's caption is the file name";

    // Play the slot, add an effect, then the stop button silences both.
    std::size_t mark = recorder_->sampleCount();
    click("自定义播放按钮1");
    long onset = waitForSound(mark);
    ASSERT_GE(onset, 0) << "the song did not sound";
    click("特定按钮2");  // the effects page
    std::this_thread::sleep_for(300ms);
    click("官方音按钮49");  // the alarm, about a minute long
    std::this_thread::sleep_for(1500ms);
    mark = recorder_->sampleCount();
    click("官方音按钮51");
    const long quiet = recorder_->waitForQuiet(mark, kLoud / 4, samplesOf(500ms), 5s);
    ASSERT_GE(quiet, 0) << "still sounding after the stop button";
    EXPECT_LT(static_cast<std::size_t>(quiet) - mark, samplesOf(1000ms));

    // A restart restores the slot: its play button plays the same song.
    quit();
    ASSERT_NO_FATAL_FAILURE(start());
    click("特定按钮3");
    std::this_thread::sleep_for(300ms);
    mark = recorder_->sampleCount();
    click("自定义播放按钮1");
    onset = waitForSound(mark);
    ASSERT_GE(onset, 0) << "the restored slot did not play";
    ASSERT_TRUE(waitUntil(
        [&] {
            return recorder_->sampleCount() > static_cast<std::size_t>(onset) + samplesOf(800ms);
        },
        5s));
    const auto sample = recorder_->samples();
    EXPECT_NEAR(zeroCrossingHz(sample, static_cast<std::size_t>(onset) + samplesOf(200ms),
                               static_cast<std::size_t>(onset) + samplesOf(700ms)),
                500, 15);
    mark = recorder_->sampleCount();
    click("自定义停止按钮1");
    EXPECT_GE(recorder_->waitForQuiet(mark, kLoud / 4, samplesOf(500ms), 5s), 0);
    std::ifstream again(settingsFile(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), saved)
        << "playing and stopping write nothing";
}

}  // namespace
}  // namespace lumivox::testing
