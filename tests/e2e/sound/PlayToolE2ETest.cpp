// The command-line player: plays and exits once the sound has ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tests/e2e/sound/SoundFixtures.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

class PlayTool : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fixtures.ok());
        ASSERT_TRUE(recorder.ok());
    }

    // The tones heard since sample `from`, each rounded to 100 Hz, in order.
    std::vector<int> tonesSince(std::size_t from) {
        const auto all = recorder.samples();
        std::vector<std::int16_t> recorded(all.begin() + static_cast<long>(from), all.end());
        std::vector<int> tones;
        for (const auto& stretch : testing::toneStretches(recorded, 400)) {
            tones.push_back(static_cast<int>(stretch.hz / 100 + 0.5) * 100);
        }
        return tones;
    }

    testing::SoundFixtures& fixtures = testing::SoundFixtures::get();
    testing::SoundRecorder& recorder = fixtures.recorder();
    const std::string tool = (testing::binaryDir() / "tools/play/lumivox-play").string();
};

TEST_F(PlayTool, PlaysWavesAndSongListsAndExitsWhenTheSoundEnds) {
    const auto wave = fixtures.tone("tool.wav", "-r 22050 -b 16 -c 1", 0.3, 900);
    const auto song = fixtures.song("tool.mp3", 0.3, 1300);

    std::size_t from = recorder.sampleCount();
    testing::Subprocess player({tool, wave.string()}, fixtures.server().environment());
    EXPECT_EQ(player.wait(10s), 0);
    const long waveOnset = recorder.waitForLoud(from, 800, 2s);
    ASSERT_GE(waveOnset, 0);

    from = recorder.sampleCount();
    testing::Subprocess songs({tool, "--songs", "2", song.string()}, fixtures.server().environment());
    EXPECT_EQ(songs.wait(15s), 0);
    ASSERT_TRUE(testing::waitUntil([&] { return recorder.sampleCount() > from + 4410; }, 2s));
    const auto all = recorder.samples();
    std::vector<std::int16_t> recorded(all.begin() + static_cast<long>(from), all.end());
    // Two passes of 0.3 s: the second track follows the first in the program's
    // mix without a gap, so they are heard as one stretch of the tone.
    std::vector<int> tones;
    double seconds = 0;
    for (const auto& stretch : testing::toneStretches(recorded, 400)) {
        tones.push_back(static_cast<int>(stretch.hz / 100 + 0.5) * 100);
        seconds += static_cast<double>(stretch.to - stretch.from) / testing::kRecordRate;
    }
    EXPECT_FALSE(tones.empty());
    EXPECT_EQ(std::count(tones.begin(), tones.end(), 1300), static_cast<long>(tones.size()));
    EXPECT_NEAR(seconds, 0.6, 0.1);

    testing::Subprocess refused({tool, (fixtures.path("none.wav")).string()},
                                fixtures.server().environment());
    EXPECT_EQ(refused.wait(10s), 1);
}

// The synthesizer library is loaded when the first MIDI song plays. One that
// cannot be loaded (here a broken file found first on the library path) is
// named on the standard error, the song stays silent and the wave beside it plays.
TEST_F(PlayTool, AMissingSynthesizerLeavesTheSongSilentAndTheRestPlaying) {
    const auto wave = fixtures.tone("beside-midi.wav", "-r 22050 -b 16 -c 1", 0.3, 700);
    const auto song = fixtures.fluteNote("silent.mid");
    testing::TempDir libraries;
    std::ofstream(libraries / "libfluidsynth.so.3") << "not a library";

    auto env = fixtures.server().environment();
    env["LD_LIBRARY_PATH"] = libraries.path().string();
    const auto errors = libraries / "stderr.txt";
    const std::size_t from = recorder.sampleCount();
    testing::Subprocess player({tool, song.string(), wave.string()}, env, {}, errors);
    EXPECT_EQ(player.wait(15s), 0);
    EXPECT_GE(recorder.waitForLoud(from, 800, 2s), 0);
    std::ifstream in(errors);
    const std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(said.find("libfluidsynth.so.3 could not be loaded"), std::string::npos) << said;
    // Only the wave was heard: a single tone at its own pitch.
    ASSERT_TRUE(testing::waitUntil([&] { return recorder.sampleCount() > from + 44100; }, 3s));
    EXPECT_EQ(tonesSince(from), (std::vector<int>{700}));
}

}  // namespace
}  // namespace lumivox
