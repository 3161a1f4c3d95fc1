#pragma once
// The audio playback service of the sound board: `playSound` (WAV data on an
// independent, overlapping voice; MIDI data on the one MIDI player),
// `playSongFiles` (song files through one song player at a time) and
// `stopAllSounds`. The operations are called on the GUI thread and return at
// once; the sound is made by the service's threads.
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "base/Types.hpp"
#include "platform/WaveOut.hpp"
#include "sound/MidiPlayer.hpp"
#include "sound/SongPlayer.hpp"
#include "sound/WaveVoice.hpp"

namespace lumivox {

class SoundService {
public:
    // The program's service (default wave-output device). At program end it
    // stops every sound and waits for every voice's thread.
    static SoundService& instance();

    // A service of its own, on the devices `openDevice` gives (tests).
    explicit SoundService(platform::WaveOutOpener openDevice);
    // Stops everything and waits for the voices.
    ~SoundService();
    SoundService(const SoundService&) = delete;
    SoundService& operator=(const SoundService&) = delete;

    // WAV data starts a voice (true), MIDI data goes to the MIDI player (true even
    // when it then fails to parse); anything else, or nothing, gives false.
    bool playSound(std::span<const std::uint8_t> sound, bool loop = false);
    // A file read whole first; an empty name or an unreadable file gives false.
    bool playSound(const Text& fileName, bool loop = false);
    // The song player, then the MIDI player, then every voice (without waiting).
    void stopAllSounds();
    // Replaces the current song player with one for `paths` (empty ones
    // skipped): 0 passes plays nothing, a negative count repeats without end.
    void playSongFiles(int playCount, const std::vector<Text>& paths);
    void playSongFiles(const std::vector<Text>& paths) { playSongFiles(1, paths); }

    // Waits until every voice's feeder thread has ended.
    void waitForVoices();
    std::size_t voiceCount() const { return voices_.size(); }
    // Any voice, MIDI song or song list still sounding (or about to).
    bool isSounding() const;

private:
    void removeSongPlayer();

    platform::WaveOutOpener openDevice_;
    VoiceRegistry voices_;
    MidiPlayer midi_;
    mutable std::mutex songMutex_;  // guards song_
    SongPlayer* song_ = nullptr;
};

// The operations of the program's service, for the pages' handlers.
bool playSound(std::span<const std::uint8_t> sound, bool loop = false);
bool playSound(const Text& fileName, bool loop = false);
void stopAllSounds();
void playSongFiles(int playCount, const std::vector<Text>& paths);

}  // namespace lumivox
