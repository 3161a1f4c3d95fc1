#pragma once
// The program's own mix: every effect and song of the program goes into it, is
// set to its kind's volume, and leaves through at most two output streams (the
// host's monitor device and the virtual microphone's sink), each with a limiter
// so that a storm of voices or a loud song never clips. Idle, it holds no
// stream open and runs nothing.
//
// Threads: inputs are written by the engines' feeder threads; one mixer thread
// renders 10 ms blocks, clocked by the output that plays (or by the clock when
// no output is wanted, so that sounds still end on time); the outputs'
// buffer-done callbacks only count and wake it. An input's buffer-done
// callback runs on the mixer thread with no lock held (or on the caller's
// thread for `reset` and `close`).
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/SoundRouting.hpp"
#include "platform/WaveOut.hpp"

namespace lumivox::platform {

// Where the mixer sends its two outputs and which kinds each carries; asked by
// the mixer thread whenever it opens them.
struct MixDestinations {
    bool hostEffects = true, hostSongs = true;
    std::string hostDevice;  // empty: the default device
    bool viewersEffects = false, viewersSongs = false;
    std::string viewersDevice;  // never the default: no device, no output
};

class SoundMixer {
public:
    static constexpr std::uint32_t kRate = 44100;
    static constexpr std::size_t kBlockFrames = 441;  // 10 ms
    // Highest sample value that leaves the limiter (-0.3 dBFS).
    static constexpr float kCeiling = 0.966f;

    // `destinations` is asked on the mixer thread; `open` opens an output
    // device of that name ("" the default) for 16-bit stereo at kRate.
    using DestinationsFn = std::function<MixDestinations()>;
    using OutputOpener = std::function<std::unique_ptr<WaveOut>(
        const std::string& device, std::span<const std::uint8_t> format, WaveOutDoneCallback,
        void*)>;
    SoundMixer(DestinationsFn destinations, OutputOpener openOutput);
    ~SoundMixer();
    SoundMixer(const SoundMixer&) = delete;
    SoundMixer& operator=(const SoundMixer&) = delete;

    // An input of that kind for a WAV format (`fmt ` body); nothing when the
    // format is not one the mixer reads.
    std::unique_ptr<WaveOut> open(std::span<const std::uint8_t> format,
                                  WaveOutDoneCallback callback, void* context, SoundKind kind);

    // Volumes in % (0 to 100), taking effect on the next block.
    void setVolumes(int effects, int songs);
    // The destinations changed: outputs are reopened before the next block.
    void destinationsChanged();
    // Stops the thread and closes the outputs (program end).
    void shutdown();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The limiter of one output: the gain follows the loudest sample at once (so
// nothing passes the ceiling) and recovers over about 100 ms.
class Limiter {
public:
    // Stereo frames in place; afterwards every sample is within the ceiling.
    void process(float* frames, std::size_t count);

private:
    float envelope_ = 0.0f;
};

}  // namespace lumivox::platform
