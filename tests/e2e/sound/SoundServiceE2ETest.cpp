// The sound service against a private PulseAudio server, judged by what its
// null sink's monitor records.
#include <map>

#include <gtest/gtest.h>

#include <fstream>

#include "platform/WaveOut.hpp"
#include "sound/SongPipeline.hpp"
#include "sound/SoundService.hpp"
#include "sound/WaveFile.hpp"
#include "tests/e2e/sound/SoundFixtures.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;
using testing::SoundFixtures;
using testing::SoundRecorder;
using testing::kRecordRate;

constexpr int kLoud = 800;

std::size_t samplesOf(std::chrono::milliseconds duration) {
    return static_cast<std::size_t>(kRecordRate * static_cast<double>(duration.count()) / 1000.0);
}

double secondsOf(std::size_t samples) { return static_cast<double>(samples) / kRecordRate; }

class SoundE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixtures().ok()) << "no private sound server";
        recorder_ = &fixtures().recorder();
        ASSERT_TRUE(recorder_->ok()) << "parec did not start";
        markStart();
    }

    static SoundFixtures& fixtures() { return SoundFixtures::get(); }

    // Everything from the first loud sample until `quiet` of silence, or `limit`.
    std::vector<std::int16_t> recordSound(std::chrono::milliseconds quiet = 400ms,
                                          std::chrono::milliseconds limit = 10s) {
        const long onset = recorder_->waitForLoud(startIndex_, kLoud, limit);
        if (onset < 0) {
            return {};
        }
        const long end = recorder_->waitForQuiet(static_cast<std::size_t>(onset), kLoud / 4,
                                                 samplesOf(quiet), limit);
        std::vector<std::int16_t> all = recorder_->samples();
        const std::size_t to = end < 0 ? all.size() : static_cast<std::size_t>(end);
        return {all.begin() + onset, all.begin() + static_cast<long>(to)};
    }

    void markStart() {
        startIndex_ = recorder_->sampleCount();
        underrunsAtStart_ = platform::waveOutUnderrunCount();
    }

    // The sound that arrived, its gaps of silence taken out: a busy machine may
    // leave the server's streams empty for a moment, which the server reports
    // to us as an underrun. A gap with no underrun behind it is the product's.
    std::vector<std::int16_t> arrived(const std::vector<std::int16_t>& sound) {
        testing::Arrived heard = testing::withoutGaps(sound, kLoud / 4);
        EXPECT_LE(heard.gaps, platform::waveOutUnderrunCount() - underrunsAtStart_)
            << "silence inside the sound that no underrun explains";
        return std::move(heard.sound);
    }
    // The same for a list of songs: a track ends and the next opens its own
    // stream, so silence between tracks is no fault.
    static std::vector<std::int16_t> tracksArrived(const std::vector<std::int16_t>& sound) {
        return testing::withoutGaps(sound, kLoud / 4).sound;
    }

    // Blocks until the recording holds `duration` more after sample `from`.
    void waitForRecorded(std::size_t from, std::chrono::milliseconds duration) {
        ASSERT_TRUE(testing::waitUntil(
            [&] { return recorder_->sampleCount() >= from + samplesOf(duration); }, 20s));
    }

    SoundRecorder* recorder_ = nullptr;
    std::size_t startIndex_ = 0;
    std::uint64_t underrunsAtStart_ = 0;
};

// The share of the 20 ms windows in [from, to) where `hz` has at least `strength`:
// judged window by window, one voice's gap does not blur the other's tone.
double shareWithTone(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to,
                     double hz, double strength) {
    const std::size_t window = samplesOf(20ms);
    std::size_t windows = 0, withTone = 0;
    for (std::size_t at = from; at + window <= std::min(to, s.size()); at += window) {
        ++windows;
        withTone += testing::toneStrength(s, at, at + window, hz) >= strength ? 1 : 0;
    }
    return windows == 0 ? 0 : static_cast<double>(withTone) / static_cast<double>(windows);
}

std::vector<int> rounded(const std::vector<testing::ToneStretch>& stretches, int step) {
    std::vector<int> out;
    for (const auto& stretch : stretches) {
        out.push_back(static_cast<int>(stretch.hz / step + 0.5) * step);
    }
    return out;
}

TEST_F(SoundE2E, TwoVoicesStartedInQuickSuccessionMix) {
    SoundService service(platform::openWaveOut);
    const auto low = testing::readBytes(fixtures().tone("mix440.wav", "-r 44100 -b 16 -c 2", 1.5, 440));
    const auto high = testing::readBytes(fixtures().tone("mix1000.wav", "-r 22050 -b 16 -c 1", 0.5, 1000));
    markStart();
    ASSERT_TRUE(service.playSound(low));
    // The second once the first is heard, so that however long an open takes
    // on a busy machine the first sounds alone for a while.
    const long first = recorder_->waitForLoud(startIndex_, kLoud, 10s);
    ASSERT_GE(first, 0);
    waitForRecorded(static_cast<std::size_t>(first), 150ms);
    ASSERT_TRUE(service.playSound(high));
    const auto sound = arrived(recordSound());
    // The first tone whole; the second's half second somewhere inside it.
    EXPECT_NEAR(secondsOf(sound.size()), 1.5, 0.05);
    const std::size_t window = samplesOf(20ms);
    std::size_t from = 0;
    while (from + window <= sound.size() &&
           testing::toneStrength(sound, from, from + window, 1000) < 0.3) {
        from += window / 2;
    }
    ASSERT_GE(from, samplesOf(120ms)) << "the second tone came at once";
    ASSERT_LT(from + samplesOf(500ms), sound.size()) << "the second tone came too late to mix";
    // The first alone, then both together, then the first alone again.
    EXPECT_GT(testing::toneStrength(sound, samplesOf(20ms), from - window, 440), 0.8);
    EXPECT_LT(testing::toneStrength(sound, samplesOf(20ms), from - window, 1000), 0.1);
    const std::size_t both = from + samplesOf(50ms);
    EXPECT_GT(shareWithTone(sound, both, both + samplesOf(400ms), 440, 0.4), 0.8);
    EXPECT_GT(shareWithTone(sound, both, both + samplesOf(400ms), 1000, 0.4), 0.8);
    const std::size_t after = from + samplesOf(550ms);
    EXPECT_GT(testing::toneStrength(sound, after, sound.size(), 440), 0.8);
    EXPECT_LT(testing::toneStrength(sound, after, sound.size(), 1000), 0.1);
}

// Each format plays at its own rate: the tone keeps its pitch and its length.
TEST_F(SoundE2E, EveryFormatPlaysAtItsOwnRate) {
    SoundService service(platform::openWaveOut);
    struct Case {
        const char* name;
        const char* soxFormat;
        int hz;
    };
    const std::vector<Case> cases = {
        {"8-bit 11025 Hz", "-r 11025 -b 8 -c 1", 600},
        {"ADPCM 22050 Hz", "-r 22050 -e ms-adpcm -c 1", 800},
        {"24-bit 48000 Hz stereo", "-r 48000 -b 24 -c 2", 1000},
        {"float 44100 Hz", "-r 44100 -e floating-point -b 32 -c 1", 1200},
        {"16-bit 11025 Hz", "-r 11025 -b 16 -c 2", 700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = fixtures().tone(std::string(c.name) + ".wav", c.soxFormat, 0.4, c.hz);
        markStart();
        ASSERT_TRUE(service.playSound(testing::readBytes(file)));
        const auto sound = arrived(recordSound(250ms));
        ASSERT_FALSE(sound.empty());
        EXPECT_NEAR(testing::zeroCrossingHz(sound, samplesOf(50ms), samplesOf(350ms)), c.hz,
                    c.hz * 0.02);
        EXPECT_NEAR(secondsOf(sound.size()), 0.4, 0.04);
        ASSERT_TRUE(testing::waitUntil([&] { return service.voiceCount() == 0; }, 2s));
    }
}

// The same sound with `extra` bytes of a cut-off frame after its data.
ByteData withPartialFrame(const ByteData& wav, std::size_t extra) {
    const auto chunks = findWaveChunks(wav);
    ByteData out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    auto put32 = [&](std::size_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    };
    put32(chunks->format.size());
    out.insert(out.end(), chunks->format.begin(), chunks->format.end());
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(chunks->data.size() + extra);
    out.insert(out.end(), chunks->data.begin(), chunks->data.end());
    out.insert(out.end(), extra, 0x40);
    const std::size_t riff = out.size() - 8;
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    }
    return out;
}

// Frames that a buffer's end splits (a frame size that does not divide the
// buffer size, or data that stops inside a frame) still play, and the voice
// ends with its sound.
TEST_F(SoundE2E, FramesSplitByBufferEndsPlayAndEndOnTime) {
    SoundService service(platform::openWaveOut);
    struct Case {
        const char* name;
        const char* soxFormat;
        std::size_t extra;
    };
    const std::vector<Case> cases = {
        {"16-bit stereo ending mid-frame", "-r 44100 -b 16 -c 2", 3},
        {"24-bit 5.1", "-r 48000 -b 24 -c 6", 0},
        {"16-bit 7 channels", "-r 44100 -b 16 -c 7", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto wav = withPartialFrame(
            testing::readBytes(fixtures().tone(std::string(c.name) + ".wav", c.soxFormat, 1.0, 700)),
            c.extra);
        markStart();
        ASSERT_TRUE(service.playSound(wav));
        const auto sound = arrived(recordSound(250ms));
        // The voice ends with its sound, not at the stall time-out (8.9 s).
        const std::size_t heardEnd = recorder_->sampleCount();
        testing::waitUntil(
            [&] {
                return service.voiceCount() == 0 ||
                       recorder_->sampleCount() > heardEnd + samplesOf(2000ms);
            },
            20s);
        EXPECT_EQ(service.voiceCount(), 0u) << "the voice outlived its sound";
        EXPECT_NEAR(secondsOf(sound.size()), 1.0, 0.08);
        EXPECT_NEAR(testing::zeroCrossingHz(sound, samplesOf(100ms), samplesOf(900ms)), 700, 14);
    }
}

// A song paused before its pipeline opened the device stays silent until resumed.
TEST_F(SoundE2E, PauseBeforeTheDeviceOpensHolds) {
    const auto song = fixtures().song("paused.mp3", 0.5, 800);
    auto pipeline = SongPipeline::open(song.string(), [] {});
    ASSERT_TRUE(pipeline);
    markStart();
    pipeline->pause();
    pipeline->start(0);
    waitForRecorded(startIndex_, 1500ms);
    EXPECT_EQ(testing::firstLoud(recorder_->samples(), startIndex_, kLoud), -1)
        << "sounded while paused";
    markStart();
    pipeline->resume();
    const auto sound = arrived(recordSound(300ms));
    EXPECT_NEAR(secondsOf(sound.size()), 0.5, 0.08);
}

TEST_F(SoundE2E, LoopingVoiceRepeatsUntilStopped) {
    SoundService service(platform::openWaveOut);
    const auto file = testing::readBytes(fixtures().tone("loop.wav", "-r 44100 -b 16 -c 1", 0.15, 900));
    markStart();
    ASSERT_TRUE(service.playSound(file, true));
    const long onset = recorder_->waitForLoud(startIndex_, kLoud, 5s);
    ASSERT_GE(onset, 0);
    waitForRecorded(static_cast<std::size_t>(onset), 900ms);
    service.stopAllSounds();
    const auto sound = arrived(recordSound(300ms));
    // Six passes and more, as one unbroken tone.
    EXPECT_GT(secondsOf(sound.size()), 0.85);
    EXPECT_LT(secondsOf(sound.size()), 1.2);
    const auto stretches = testing::toneStretches(sound, kLoud / 2);
    ASSERT_EQ(rounded(stretches, 100), std::vector<int>{900});
    EXPECT_NEAR(stretches[0].hz, 900, 20);
    ASSERT_TRUE(testing::waitUntil([&] { return service.voiceCount() == 0; }, 2s));
}

TEST_F(SoundE2E, StopAllSoundsSilencesFiftyVoicesAndTheSongTogether) {
    SoundService service(platform::openWaveOut);
    const auto effect = testing::readBytes(fixtures().tone("long.wav", "-r 44100 -b 16 -c 2", 3, 700));
    const auto song = fixtures().song("long.mp3", 3, 500);
    markStart();
    service.playSongFiles(1, {song.string()});
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(service.playSound(effect));
    }
    const long onset = recorder_->waitForLoud(startIndex_, kLoud, 5s);
    ASSERT_GE(onset, 0);
    // The song may sound alone at first: on a busy machine the effects' fifty
    // streams take a while longer to open. Stopped once the effects are heard.
    const std::size_t window = samplesOf(20ms);
    std::size_t effectsHeard = 0;
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            const auto all = recorder_->samples();
            for (std::size_t at = std::max(effectsHeard, static_cast<std::size_t>(onset));
                 at + window <= all.size(); at += window) {
                if (testing::toneStrength(all, at, at + window, 700) >= 0.3) {
                    effectsHeard = at;
                    return true;
                }
            }
            effectsHeard = all.size() - std::min(all.size(), window);
            return false;
        },
        10s))
        << "the effects were not heard";
    waitForRecorded(effectsHeard, 400ms);
    const std::size_t beforeStop = recorder_->sampleCount();
    service.stopAllSounds();
    const long quiet = recorder_->waitForQuiet(beforeStop, kLoud / 4, samplesOf(500ms), 5s);
    ASSERT_GE(quiet, 0);
    // Silence came at once (the recorder runs in real time, so its sample count
    // is the clock) and stayed: nothing loud after it.
    EXPECT_LT(static_cast<std::size_t>(quiet) - beforeStop, samplesOf(200ms));
    const auto all = recorder_->samples();
    EXPECT_EQ(testing::firstLoud(all, static_cast<std::size_t>(quiet), kLoud / 4), -1);
    // Both the song and the effects sounded before.
    const auto before = tracksArrived(std::vector<std::int16_t>(
        all.begin() + static_cast<long>(effectsHeard), all.begin() + static_cast<long>(beforeStop)));
    EXPECT_GT(testing::toneStrength(before, 0, before.size(), 500), 0.01);
    EXPECT_GT(shareWithTone(before, 0, before.size(), 700, 0.3), 0.8);
    ASSERT_TRUE(testing::waitUntil([&] { return service.voiceCount() == 0; }, 2s));
    EXPECT_FALSE(service.isSounding());
}

// Song lists: each file's tone in turn, pass after pass; an empty slot is passed
// over, a file that cannot be read stops the list; then the player stays stopped.
TEST_F(SoundE2E, SongListsPlayTheirTonesInOrderPassAfterPass) {
    struct Song {
        double seconds;
        int hz;
    };
    const std::map<std::string, Song> songs = {
        {"once.mp3", {0.4, 1000}}, {"a.mp3", {0.25, 600}}, {"b.mp3", {0.25, 1000}},
        {"c.mp3", {0.25, 1500}}};
    const struct {
        const char* what;
        int passes;
        std::vector<std::string> files;  // "" an empty slot; not in `songs`: missing
        std::vector<int> tones;
    } cases[] = {
        {"one song once", 1, {"once.mp3"}, {1000}},
        {"two passes over three files", 2, {"a.mp3", "", "b.mp3", "c.mp3"},
         {600, 1000, 1500, 600, 1000, 1500}},
        {"a missing second file", 1, {"a.mp3", "missing.mp3", "c.mp3"}, {600}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SoundService service(platform::openWaveOut);
        std::vector<std::string> paths;
        for (const std::string& file : c.files) {
            const auto song = songs.find(file);
            paths.push_back(file.empty() ? ""
                            : song == songs.end()
                                ? fixtures().path(file).string()
                                : fixtures().song(file, song->second.seconds, song->second.hz).string());
        }
        markStart();
        service.playSongFiles(c.passes, paths);
        // Silence between tracks is no fault (each opens a stream of its own); a
        // list of one song must have none that no underrun explains.
        const auto recorded = recordSound(800ms);
        const auto sound = c.files.size() == 1 ? arrived(recorded) : tracksArrived(recorded);
        const auto stretches = testing::toneStretches(sound, kLoud / 2);
        ASSERT_EQ(rounded(stretches, 100), c.tones);
        if (c.files.size() == 1) {
            EXPECT_NEAR(secondsOf(stretches[0].to - stretches[0].from),
                        songs.at(c.files[0]).seconds, 0.06);
        }
        EXPECT_FALSE(service.isSounding());
    }
}

// A tag whose contents are themselves MPEG audio (another tone): skipping the
// tag means only the song's own tone sounds.
TEST_F(SoundE2E, Id3v23FileStartsAtItsFirstFrame) {
    SoundService service(platform::openWaveOut);
    const ByteData hidden = testing::readBytes(fixtures().song("hidden.mp3", 0.3, 3000));
    const ByteData body = testing::readBytes(fixtures().song("tagged-body.mp3", 0.3, 1000));
    ByteData tagged = {'I', 'D', '3', 3, 0, 0};
    const auto size = static_cast<std::uint32_t>(hidden.size());
    for (int shift : {21, 14, 7, 0}) {
        tagged.push_back(static_cast<std::uint8_t>((size >> shift) & 0x7F));
    }
    tagged.insert(tagged.end(), hidden.begin(), hidden.end());
    tagged.insert(tagged.end(), body.begin(), body.end());
    const auto path = fixtures().path("tagged.mp3");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(tagged.data()),
                                                static_cast<long>(tagged.size()));
    markStart();
    service.playSongFiles(1, {path.string()});
    const auto sound = arrived(recordSound(600ms));
    EXPECT_EQ(rounded(testing::toneStretches(sound, kLoud / 2), 100), std::vector<int>{1000});
}

TEST_F(SoundE2E, PlaySongFilesReplacesTheSongAtOnceAndACountOfZeroOnlyStops) {
    SoundService service(platform::openWaveOut);
    const auto longSong = fixtures().song("long.mp3", 3, 500);
    const auto other = fixtures().song("once.mp3", 0.4, 1000);
    markStart();
    service.playSongFiles(1, {longSong.string()});
    const long onset = recorder_->waitForLoud(startIndex_, kLoud, 5s);
    ASSERT_GE(onset, 0);
    waitForRecorded(static_cast<std::size_t>(onset), 300ms);
    service.playSongFiles(1, {other.string()});
    const auto replaced = tracksArrived(recordSound(600ms));
    const auto stretches = testing::toneStretches(replaced, kLoud / 2);
    ASSERT_EQ(rounded(stretches, 100), (std::vector<int>{500, 1000}));
    EXPECT_LT(secondsOf(stretches[0].to - stretches[0].from), 0.6);

    markStart();
    service.playSongFiles(1, {longSong.string()});
    ASSERT_GE(recorder_->waitForLoud(startIndex_, kLoud, 5s), 0);
    const std::size_t beforeStop = recorder_->sampleCount();
    service.playSongFiles(0, {other.string()});
    const long quiet = recorder_->waitForQuiet(beforeStop, kLoud / 4, samplesOf(600ms), 5s);
    ASSERT_GE(quiet, 0);
    EXPECT_LT(secondsOf(static_cast<std::size_t>(quiet) - beforeStop), 0.25);
    EXPECT_FALSE(service.isSounding());
}

TEST_F(SoundE2E, MidiFilePlaysThroughTheSynthesizer) {
    SoundService service(platform::openWaveOut);
    // One track: flute (program 73), A4 (440 Hz) for half a second at 120 beats a minute.
    const ByteData track = {0x00, 0xC0, 73,   0x00, 0x90, 69, 110, 0x83, 0x60,
                            0x80, 69,   0x00, 0x00, 0xFF, 0x2F, 0x00};
    ByteData file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                     'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(track.size())};
    file.insert(file.end(), track.begin(), track.end());
    markStart();
    ASSERT_TRUE(service.playSound(file));
    const long onset = recorder_->waitForLoud(startIndex_, 200, 10s);
    ASSERT_GE(onset, 0);
    ASSERT_TRUE(testing::waitUntil([&] { return !service.isSounding(); }, 5s));
    waitForRecorded(static_cast<std::size_t>(onset), 600ms);
    const auto all = recorder_->samples();
    const auto note = tracksArrived({all.begin() + onset, all.end()});
    EXPECT_GT(testing::toneStrength(note, samplesOf(100ms), samplesOf(400ms), 440), 0.5);
}

}  // namespace
}  // namespace lumivox
