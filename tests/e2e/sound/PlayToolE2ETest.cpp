// The command-line player: plays and exits once the sound has ended.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/e2e/sound/SoundFixtures.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

TEST(PlayTool, PlaysWavesAndSongListsAndExitsWhenTheSoundEnds) {
    auto& fixtures = testing::SoundFixtures::get();
    ASSERT_TRUE(fixtures.ok());
    testing::SoundRecorder& recorder = fixtures.recorder();
    ASSERT_TRUE(recorder.ok());
    const auto tool = (testing::binaryDir() / "tools/play/lumivox-play").string();
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
    std::vector<int> tones;
    for (const auto& stretch : testing::toneStretches(recorded, 400)) {
        tones.push_back(static_cast<int>(stretch.hz / 100 + 0.5) * 100);
    }
    EXPECT_EQ(tones, (std::vector<int>{1300, 1300}));

    testing::Subprocess refused({tool, (fixtures.path("none.wav")).string()},
                                fixtures.server().environment());
    EXPECT_EQ(refused.wait(10s), 1);
}

// The synthesizer library is loaded when the first MIDI song plays. One that
// cannot be loaded (here a broken file found first on the library path) is
// named on the standard error, the song stays silent and the wave beside it plays.
TEST(PlayTool, AMissingSynthesizerLeavesTheSongSilentAndTheRestPlaying) {
    auto& fixtures = testing::SoundFixtures::get();
    ASSERT_TRUE(fixtures.ok());
    testing::SoundRecorder& recorder = fixtures.recorder();
    ASSERT_TRUE(recorder.ok());
    const auto tool = (testing::binaryDir() / "tools/play/lumivox-play").string();
    const auto wave = fixtures.tone("beside-midi.wav", "-r 22050 -b 16 -c 1", 0.3, 700);
    // One note (flute, A4) for half a second.
    const std::string track = {0x00, '\xC0', 73, 0x00, '\x90', 69, 110, '\x83', 0x60,
                               '\x80', 69, 0x00, 0x00, '\xFF', 0x2F, 0x00};
    const auto song = fixtures.path("silent.mid");
    std::ofstream(song, std::ios::binary)
        << std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0\0", 21)
        << static_cast<char>(track.size()) << track;
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
    const auto all = recorder.samples();
    std::vector<std::int16_t> recorded(all.begin() + static_cast<long>(from), all.end());
    std::vector<int> tones;
    for (const auto& stretch : testing::toneStretches(recorded, 400)) {
        tones.push_back(static_cast<int>(stretch.hz / 100 + 0.5) * 100);
    }
    EXPECT_EQ(tones, (std::vector<int>{700}));
}

}  // namespace
}  // namespace lumivox
