#pragma once
// The one MIDI song of the sound service: a Standard MIDI File rendered by a
// software synthesizer into a wave-output device on a thread of its own.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "base/Types.hpp"
#include "platform/MidiSynth.hpp"
#include "platform/WaveOut.hpp"
#include "sound/MidiFile.hpp"

namespace lumivox {

class MidiPlayer {
public:
    static constexpr std::uint32_t kSampleRate = 44100;
    static constexpr std::size_t kBufferCount = 8;
    // A device that hands back no buffer for this long is gone (a restarted
    // sound server): the song then ends instead of sounding for ever.
    static constexpr std::chrono::milliseconds kStallLimit{5000};
    static constexpr std::size_t kBufferFrames = 1024;

    explicit MidiPlayer(platform::WaveOutOpener openDevice);
    ~MidiPlayer();

    // Stops the song now playing, then plays `file` (a copy is kept), again and
    // again with `loop`. A file that does not parse plays nothing.
    void play(std::span<const std::uint8_t> file, bool loop);
    // Stops the song and waits until its thread has ended.
    void stop();
    bool isPlaying() const { return playing_.load(); }

private:
    static void onBufferDone(void* context, platform::WaveBuffer* buffer);
    void run(MidiSong song, bool loop);
    // Blocks until `count` buffers are free (true), or the player is stopped or
    // the device stalled (false).
    bool waitForFreeBuffers(std::size_t count);
    void renderBuffer(const MidiSong& song, std::size_t& nextEvent, std::uint64_t& frame,
                      platform::WaveBuffer& header);

    platform::WaveOutOpener openDevice_;
    std::mutex controlMutex_;  // one play or stop at a time
    ByteData data_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> playing_{false};
    std::unique_ptr<platform::MidiSynth> synth_;  // made on first use, kept for later songs
    std::mutex bufferMutex_;
    std::condition_variable bufferFreed_;
    std::size_t free_ = kBufferCount;
};

}  // namespace lumivox
