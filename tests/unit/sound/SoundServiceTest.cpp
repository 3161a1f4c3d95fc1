#include <gtest/gtest.h>

#include <fstream>

#include "base/Encoding.hpp"
#include "sound/SoundService.hpp"
#include "sound/WaveFile.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/unit/sound/RecordingWaveOut.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

ByteData bytes(const std::string& text) { return {text.begin(), text.end()}; }

ByteData smallWave() {
    ByteData file = bytes(std::string("RIFF\x2a\0\0\0WAVEfmt \x10\0\0\0", 20));
    const auto format = pcm16FormatBody(8000, 1);
    file.insert(file.end(), format.begin(), format.end());
    const ByteData data = bytes(std::string("data\x02\0\0\0\x10\x20", 10));
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

// Which engine takes the data, decided by its first bytes.
TEST(SoundService, PlaySoundSendsDataByKind) {
    testing::RecordingDevices devices;
    SoundService service(devices.opener());
    struct Case {
        const char* name;
        ByteData sound;
        bool result;
        std::size_t devicesOpened;
    };
    const ByteData wave = smallWave();
    const std::vector<Case> cases = {
        {"empty", {}, false, 0},
        {"neither WAV nor MIDI", bytes("ID3\3\0\0\0\0\0\0 some song bytes"), false, 0},
        {"RIFF but not WAVE", bytes(std::string("RIFF\0\0\0\0AVI LIST1234567890123456789012345", 40)),
         false, 0},
        {"WAV of 35 bytes", ByteData(wave.begin(), wave.begin() + 35), false, 0},
        {"MIDI that does not parse still counts", bytes(std::string("MThd\0\0\0\7junk", 12)), true, 0},
        {"MThd alone is too short", bytes("MThd"), false, 0},
        {"WAV", wave, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(service.playSound(c.sound), c.result);
        service.waitForVoices();  // a voice opens its device on its own thread
        EXPECT_EQ(devices.count(), c.devicesOpened);
    }
    service.stopAllSounds();
    service.waitForVoices();
}

TEST(SoundService, PlaySoundReadsANamedFileWhole) {
    testing::RecordingDevices devices;
    SoundService service(devices.opener());
    testing::TempDir dir;
    const ByteData wave = smallWave();
    std::ofstream(dir.path() / u8"音效.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(wave.data()), static_cast<long>(wave.size()));
    EXPECT_FALSE(service.playSound(Text()));
    EXPECT_FALSE(service.playSound(Text((dir / "missing.wav").string())));
    EXPECT_FALSE(service.playSound(Text(dir.path().string()))) << "a folder is not a sound";
    // Names are GBK inside the program; the file system sees UTF-8.
    EXPECT_TRUE(service.playSound(utf8ToGbk(dir.path().string() + "/音效.wav")));
    ASSERT_TRUE(testing::waitUntil([&] { return devices.count() == 1; }, 2s));
    service.stopAllSounds();
    service.waitForVoices();
}

TEST(SoundService, SongEntryPointsAreFoundByName) {
    EXPECT_TRUE(songPlayerEntry<CreatePlayerEntry>("CreatePlayer"));
    EXPECT_TRUE(songPlayerEntry<NewPlayEntry>("NewPlay"));
    EXPECT_TRUE(songPlayerEntry<PlayEntry>("Play"));
    EXPECT_TRUE(songPlayerEntry<SetPauseStateEntry>("SetPauseState"));
    EXPECT_TRUE(songPlayerEntry<GetPlayStateEntry>("GetPlayState"));
    EXPECT_TRUE(songPlayerEntry<RemovePlayerEntry>("RemovePlayer"));
    EXPECT_FALSE(findSongPlayerEntry("StopPlayer"));
    EXPECT_FALSE(findSongPlayerEntry("removeplayer"));
    EXPECT_FALSE(songPlayerEntry<PlayEntry>("RemovePlayer")) << "an entry of another type";
}

// A player whose files cannot be opened stays stopped on its first entry.
TEST(SoundService, SongPlayerStaysStoppedOnAFileThatCannotBeOpened) {
    testing::TempDir dir;
    SongPlayer player({(dir / "none1.mp3").string(), (dir / "none2.mp3").string(), "",
                       (dir / "after-the-end.mp3").string()},
                      -3);
    EXPECT_EQ(player.passesLeft(), 0) << "a negative count is stored as 0";
    player.newPlay(nullptr, std::nullopt, 0);
    EXPECT_EQ(player.state(), SongPlayState::stopped);
    EXPECT_EQ(player.currentEntry(), 0u);
    EXPECT_FALSE(player.isActive());
    const auto getState = songPlayerEntry<GetPlayStateEntry>("GetPlayState");
    EXPECT_EQ(getState->call(&player), 0);
}

}  // namespace
}  // namespace lumivox

namespace lumivox {
namespace {

// A MIDI file of one note held for 20 seconds.
ByteData longNoteMidi() {
    const std::string header("MThd\0\0\0\6\0\0\0\1\x01\xE0", 14);  // 480 ticks a quarter
    // Note on; 19,200 ticks (40 quarters at 120 bpm: 20 s) later note off; end.
    const std::string events("\x00\x90\x3C\x64"
                             "\x81\x96\x00\x80\x3C\x00"
                             "\x00\xFF\x2F\x00",
                             14);
    std::string track("MTrk\0\0\0", 7);
    track += static_cast<char>(events.size());
    const std::string file = header + track + events;
    return {file.begin(), file.end()};
}

// A device that stops taking buffers (a restarted sound server) ends the song
// after the stall limit, instead of leaving it sounding for ever.
TEST(SoundService, MidiSongEndsWhenItsDeviceStopsTakingBuffers) {
    testing::RecordingDevices devices;
    SoundService service(devices.opener());
    ASSERT_TRUE(service.playSound(longNoteMidi()));
    ASSERT_TRUE(testing::waitUntil([&] { return devices.count() == 1; }, 10s))
        << "no synthesizer";
    const auto log = devices.log(0);
    ASSERT_TRUE(testing::waitUntil([&] { return log->writtenCount() == MidiPlayer::kBufferCount; }, 10s));
    EXPECT_TRUE(service.isSounding());
    // No buffer ever comes back.
    EXPECT_TRUE(testing::waitUntil([&] { return !service.isSounding(); },
                                   MidiPlayer::kStallLimit + 5s));
    EXPECT_TRUE(log->isClosed());
    EXPECT_EQ(log->resets, 1);
}

}  // namespace
}  // namespace lumivox
