// The sound board of Lumivox.exe under Wine, heard: a click on an effect button
// (with the click-to-sound figure) plays it into the private PulseAudio server whose monitor
// scripts/wine-with-pulse records, and the stop button silences it. On a
// private X screen (scripts/wine-with-display); the version file comes from a
// small web server of the test's own. Argument: the program.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <algorithm>
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

#include "platform/DataFolder.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/e2e/app/WineSound.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string programPath;

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

    // A figure: click to sound on 官方音按钮16 "狗叫" (loud from its first
    // milliseconds), median of 5. The mark is taken as the button goes down;
    // the recording lags real time by parec's 10 ms blocks, so each value is
    // the time at the monitor plus at most that lag.
    const POINT dog = soundButton(16);
    POINT at = dog;
    ClientToScreen(window, &at);
    SetForegroundWindow(window);
    SetCursorPos(at.x, at.y);
    std::vector<double> clickToSound;
    for (int round = 0; round < 5; ++round) {
        // Quiet first: the last bark has ended.
        ASSERT_TRUE(waitUntil(
            [&] {
                const std::size_t now = recording.now();
                const std::size_t tail = static_cast<std::size_t>(kRate * 0.3);
                return now > tail && peakOf(recording.since(now - tail), 0, tail) < 300;
            },
            10s));
        const std::size_t mark = recording.now();
        INPUT press[2] = {};
        press[0].type = press[1].type = INPUT_MOUSE;
        press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, press, sizeof(INPUT));
        std::vector<std::int16_t> samples;
        const long loud = recording.firstLoud(mark, 0, 5s, samples);
        ASSERT_GE(loud, 0) << "nothing heard after click " << round + 1;
        clickToSound.push_back(1000.0 * static_cast<double>(loud) / kRate);
    }
    std::sort(clickToSound.begin(), clickToSound.end());
    std::printf(
        "click to sound at the monitor under Wine, 官方音按钮16, median of 5: %.0f ms "
        "(%.0f to %.0f)\n",
        clickToSound[2], clickToSound.front(), clickToSound.back());

    // 官方音按钮49 "警报声", nearly a minute long.
    const POINT alarm = soundButton(49);
    const std::size_t beforeAlarm = recording.now();
    clickAt(window, alarm.x, alarm.y);
    std::vector<std::int16_t> heard;
    ASSERT_GE(recording.firstLoud(beforeAlarm, static_cast<std::size_t>(kRate * 0.5), 10s, heard), 0)
        << "the alarm is not heard";

    // 官方音按钮51 "停止播放": after the server's latency, silence.
    const POINT stop = soundButton(51);
    clickAt(window, stop.x, stop.y);
    const std::size_t stopped = recording.now();
    const std::size_t settle = static_cast<std::size_t>(kRate * 0.8);
    // Waited for in recorded samples, not in time.
    waitUntil([&] { return recording.now() > stopped + settle + static_cast<std::size_t>(kRate * 1.2); },
              20s);
    const std::vector<std::int16_t> samples = recording.since(stopped);
    ASSERT_GT(samples.size(), settle + static_cast<std::size_t>(kRate));
    EXPECT_LT(peakOf(samples, settle, samples.size()), 300)
        << "still playing after the stop button";

    pressEscape(window);
    EXPECT_EQ(program.waitForExit(30s), 0);
}

// The dialog the program opened: Wine's open-file dialog, the only dialog-class
// window on the screen.
HWND openFileDialog() {
    HWND dialog = FindWindowW(L"#32770", nullptr);
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

// Zero crossings a second between two samples: the pitch of a sine.
double pitchOf(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < std::min(to, samples.size()); ++i) {
        crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    return crossings / 2.0 / (static_cast<double>(to - from) / kRate);
}

// Slot 1 of the song page: the host clicks its name, types the path of an MP3
// into the open-file dialog and presses Enter; the settings file then holds the
// bytes the Linux build writes for the same choice (the shared fixture, the
// path where it says "<path>"), and the slot's play button plays the song.
TEST(WineSoundBoard, SongSlotChosenInTheOpenFileDialogIsSavedAndPlays) {
    const char* recordingFile = std::getenv("LUMIVOX_RECORDING");
    const char* soundDir = std::getenv("LUMIVOX_SOUND_DIR");
    ASSERT_TRUE(recordingFile != nullptr && soundDir != nullptr)
        << "run through scripts/wine-with-pulse";
    ASSERT_NE(std::getenv("LUMIVOX_DISPLAY"), nullptr) << "run through scripts/wine-with-display";
    const Recording recording{fs::path(windowsPath(recordingFile))};
    // A 2-second 550 Hz MP3 (made by the script with lame), in a folder of ours.
    TempDir songs;
    const fs::path song = songs / "slot.mp3";
    ASSERT_TRUE(fs::copy_file(fs::path(windowsPath(soundDir)) / "song550.mp3", song));
    const std::string typed = platform::narrow(song.wstring());
    const fs::path settings = fs::path(platform::widen(platform::dataFolder())) / L"自定义配置.txt";
    std::error_code ignored;
    fs::remove(settings, ignored);

    VersionServer server;
    SetEnvironmentVariableW(L"LUMIVOX_SERVER",
                            (L"127.0.0.1:" + std::to_wstring(server.port())).c_str());
    TempDir elsewhere;
    xdotool(L"mousemove 0 0");
    Started program(programPath, elsewhere.path());
    HWND window = program.waitForWindow(L"LumivoxV1.0", 60s);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(mappedOnDisplay(L"LumivoxV1.0"));
    settled(window);
    Sleep(2500);  // past the version check

    // 特定按钮3 "自定音", then 自定义歌曲名字1.
    ASSERT_TRUE(hostClick(window, 216 + 50, 72 + 22));
    Sleep(300);
    ASSERT_TRUE(hostClick(window, 16 + 36, 144 + 24));
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = openFileDialog()) != nullptr; }, 20s))
        << "no open-file dialog";
    Sleep(1000);  // mapped on the display and its folder listed
    // The file name box (cmb13 of the dialog), the path typed into it, Enter.
    HWND nameBox = GetDlgItem(dialog, 0x47C);
    ASSERT_NE(nameBox, nullptr);
    ASSERT_TRUE(hostClickOn(nameBox));
    ASSERT_TRUE(xdotool(L"type --delay 20 '" + song.wstring() + L"'"));
    ASSERT_TRUE(xdotool(L"key Return"));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(settings); }, 20s)) << "nothing saved";
    Sleep(300);
    std::string saved = wholeFile(settings);
    const std::size_t at = saved.find(typed);
    ASSERT_NE(at, std::string::npos) << saved;
    saved.replace(at, typed.size(), "<path>");
    EXPECT_TRUE(saved == wholeFile(fs::path(windowsPath(LUMIVOX_SONG_SLOT_FIXTURE))))
        << "the settings file differs from the Linux build's: " << saved;

    // 自定义播放按钮1: the song at the monitor, 550 Hz; 自定义停止按钮1 silences it.
    const std::size_t beforeClick = recording.now();
    ASSERT_TRUE(hostClick(window, 96 + 25, 144 + 25));
    std::vector<std::int16_t> samples;
    const long loud =
        recording.firstLoud(beforeClick, static_cast<std::size_t>(kRate * 0.6), 10s, samples);
    ASSERT_GE(loud, 0) << "the song was not heard; peak " << peakOf(samples, 0, samples.size());
    const std::size_t from = static_cast<std::size_t>(loud) + static_cast<std::size_t>(kRate * 0.1);
    EXPECT_NEAR(pitchOf(samples, from, from + static_cast<std::size_t>(kRate * 0.4)), 550, 15);
    ASSERT_TRUE(hostClick(window, 152 + 25, 144 + 25));
    const std::size_t stopped = recording.now();
    waitUntil([&] { return recording.now() > stopped + static_cast<std::size_t>(kRate * 1.8); }, 20s);
    samples = recording.since(stopped);
    EXPECT_LT(peakOf(samples, static_cast<std::size_t>(kRate * 0.8), samples.size()), 300)
        << "still playing after the slot's stop button";

    pressEscape(window);
    EXPECT_EQ(program.waitForExit(30s), 0);
    fs::remove(settings, ignored);
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
