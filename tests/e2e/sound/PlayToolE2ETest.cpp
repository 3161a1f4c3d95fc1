// The command-line player: plays and exits once the sound has ended.
#include <gtest/gtest.h>

#include <algorithm>

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

}  // namespace
}  // namespace lumivox
