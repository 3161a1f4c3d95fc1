// The sound engine of the Windows build playing through winmm under Wine, into
// a private PulseAudio server whose monitor scripts/wine-with-pulse records.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <windows.h>

#include <mmsystem.h>

#include "base/Encoding.hpp"
#include "platform/WaveOut.hpp"
#include "sound/SoundService.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr double kRate = 22050;

struct Heard {
    double seconds = 0;  // from the first to the last loud sample
    double hz = 0;       // rising zero crossings over that span
    int peak = 0;
};

class WineSound : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* sounds = std::getenv("LUMIVOX_SOUND_DIR");
        const char* recording = std::getenv("LUMIVOX_RECORDING");
        ASSERT_TRUE(sounds != nullptr && recording != nullptr)
            << "run through scripts/wine-with-pulse";
        sounds_ = sounds;
        recording_ = recording;
        start_ = fs::file_size(recording_);
    }

    std::vector<std::int16_t> recorded() const {
        std::ifstream in(recording_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(start_ & ~std::uintmax_t{1}));
        std::vector<std::int16_t> samples;
        std::int16_t sample;
        while (in.read(reinterpret_cast<char*>(&sample), sizeof sample))
            samples.push_back(sample);
        return samples;
    }

    // What the monitor recorded since the test began, once half a second of
    // recording follows its last loud sample (waited for in samples, not in
    // time). The length counts the sound that arrived: gaps of 2 ms and more
    // where a busy machine left the stream empty are left out.
    Heard heard() {
        std::vector<std::int16_t> samples;
        for (const auto limit = std::chrono::steady_clock::now() + 10s;
             std::chrono::steady_clock::now() < limit; std::this_thread::sleep_for(50ms)) {
            samples = recorded();
            std::size_t last = 0;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                if (std::abs(samples[i]) > 2000)
                    last = i;
            }
            if (samples.size() > last + static_cast<std::size_t>(kRate / 2))
                break;
        }
        Heard result;
        std::size_t first = samples.size(), last = 0, rising = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            result.peak = std::max(result.peak, std::abs(static_cast<int>(samples[i])));
            if (std::abs(samples[i]) > 2000) {
                first = std::min(first, i);
                last = i;
            }
        }
        for (std::size_t i = first + 1; i <= last; ++i) {
            if (samples[i - 1] < 0 && samples[i] >= 0)
                ++rising;
        }
        std::size_t gapSamples = 0, quietRun = 0;
        for (std::size_t i = first; i <= last && first < last; ++i) {
            if (std::abs(samples[i]) <= 300) {
                ++quietRun;
                continue;
            }
            if (quietRun >= static_cast<std::size_t>(kRate * 0.002))
                gapSamples += quietRun;
            quietRun = 0;
        }
        if (first < last) {
            result.seconds = static_cast<double>(last - first - gapSamples) / kRate;
            result.hz = static_cast<double>(rising) / result.seconds;
        }
        return result;
    }

    void playFile(const std::string& name) {
        SoundService service(platform::openWaveOut);
        const std::string path = (sounds_ / name).string();
        ASSERT_TRUE(service.playSound(utf8ToGbk(path)));
        service.waitForVoices();
    }

    fs::path sounds_;
    fs::path recording_;
    std::uintmax_t start_ = 0;
};

// Plain PCM goes to the device as the file holds it; Microsoft ADPCM is handed
// over as it is too and decoded by the system's wave mapper.
TEST_F(WineSound, PcmAndAdpcmFilesSoundWholeAtTheirPitch) {
    const struct {
        const char* file;
        double hz;
    } cases[] = {{"tone440.wav", 440}, {"adpcm660.wav", 660}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        start_ = fs::file_size(recording_);
        playFile(c.file);
        const Heard h = heard();
        EXPECT_GT(h.peak, 8000);  // a tone at half of full scale
        EXPECT_NEAR(h.seconds, 1.0, 0.1);
        EXPECT_NEAR(h.hz, c.hz, c.hz * 0.03);
    }
}

// A song goes through the system's ACM MP3 decoder into the same wave output.
TEST_F(WineSound, Mp3SongSoundsWholeAtItsPitch) {
    {
        SoundService service(platform::openWaveOut);
        service.playSongFiles({utf8ToGbk((sounds_ / "song550.mp3").string())});
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        std::this_thread::sleep_for(200ms);
        while (service.isSounding() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(service.isSounding()) << "the song did not end";
    }
    const Heard h = heard();
    EXPECT_GT(h.peak, 8000);
    EXPECT_NEAR(h.seconds, 2.0, 0.15);
    EXPECT_NEAR(h.hz, 550, 550 * 0.03);
}

// MIDI goes to the system's MIDI output device, paced to the player's render
// position. Wine on a machine without an ALSA sequencer (no /dev/snd, as on
// these build machines) has no such device: then the song is silent and ends at
// once, as on a machine without a synthesizer. Each case skips where the
// machine's devices are not its own (the device case runs as a CTest test of its
// own, sound_wine_midi_device_tests, so that its skip shows).
const ByteData kTwoSecondSong = {'M', 'T', 'h',  'd', 0,    0,   0, 6, 0,    0,    0, 1,
                                 0,   96,  'M',  'T', 'r',  'k', 0, 0, 0,    13,   0, 0x90,
                                 60,  100, 0x83, 0,   0x80, 60,  0, 0, 0xFF, 0x2F, 0};

// Plays the song (one note held for two seconds: 96 ticks a quarter note, 120
// beats a minute) to its end, at most ten seconds; how long that took.
std::chrono::duration<double> playToTheEnd(MidiPlayer& player) {
    const auto started = std::chrono::steady_clock::now();
    player.play(kTwoSecondSong, false);
    while (player.isPlaying() && std::chrono::steady_clock::now() - started < 10s)
        std::this_thread::sleep_for(10ms);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("MIDI song of 2 s ended after %.3f s\n", took.count());
    return took;
}

TEST_F(WineSound, MidiSongWithoutAMidiDeviceEndsSilently) {
    if (midiOutGetNumDevs() != 0) {
        GTEST_SKIP() << "this machine has a MIDI output device";
    }
    MidiPlayer player(platform::openWaveOut);
    const auto took = playToTheEnd(player);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_LT(took, 1s);  // no device: nothing to wait for
    EXPECT_EQ(heard().peak, 0);
}

TEST_F(WineSound, MidiSongGoesToTheSystemsMidiDevice) {
    if (midiOutGetNumDevs() == 0) {
        GTEST_SKIP() << "no MIDI output device (Wine without an ALSA sequencer)";
    }
    MidiPlayer player(platform::openWaveOut);
    const auto took = playToTheEnd(player);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_GT(took, 1.9s);  // the messages went out at the song's pace
}

}  // namespace
}  // namespace lumivox
