#pragma once
// The wave-output device: one handle per sounding voice (or song), opened with
// the sample format exactly as a WAV file's `fmt ` chunk body holds it.
//
// Threads: `write`, `pause`, `restart`, `reset` and `close` are called by the
// owner's own thread. The buffer-done callback runs on the device's thread (or,
// for `reset`, on the caller's thread after the device's lock is released); it
// must be short, must not block and must not call back into the device.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace lumivox::platform {

// One device header: a block of sample bytes handed to the device. The owner
// keeps it alive (and unchanged) from `write` until the device reports it done.
struct WaveBuffer {
    std::uint8_t* data = nullptr;
    std::uint32_t length = 0;  // bytes of `data` to play
    bool prepared = false;     // set by `prepareWaveBuffer`, cleared by `unprepareWaveBuffer`
    bool queued = false;       // with the device: from `write` until done
};

inline void prepareWaveBuffer(WaveBuffer& buffer) { buffer.prepared = true; }
// A queued buffer stays prepared (it is still the device's); false then.
inline bool unprepareWaveBuffer(WaveBuffer& buffer) {
    if (buffer.queued) {
        return false;
    }
    buffer.prepared = false;
    return true;
}

// Called once for every written buffer: when the device has taken all of it,
// or when `reset` hands it back.
using WaveOutDoneCallback = void (*)(void* context, WaveBuffer* buffer);

class WaveOut {
public:
    virtual ~WaveOut() = default;
    // Queues one prepared buffer; false when the device refuses it.
    virtual bool write(WaveBuffer& buffer) = 0;
    // Holds playback where it is; `restart` continues it.
    virtual void pause() = 0;
    virtual void restart() = 0;
    // Stops at once: what the device holds is dropped and every queued buffer
    // comes back as done before `reset` returns.
    virtual void reset() = 0;
    // Lets what was taken finish sounding (unless `reset` came first) and
    // releases the device. Called once; the destructor closes too.
    virtual void close() = 0;
};

// Opens the default wave-output device for the format (a `fmt ` chunk body).
// Gives nothing when the format cannot be played or no device is there.
std::unique_ptr<WaveOut> openWaveOut(std::span<const std::uint8_t> format,
                                     WaveOutDoneCallback callback, void* context);
// The same on the device of that name (a PulseAudio sink, a waveOut device's
// name); an empty name is the default device. Gives nothing when no device of
// that name is there.
std::unique_ptr<WaveOut> openWaveOutOn(const std::string& device,
                                       std::span<const std::uint8_t> format,
                                       WaveOutDoneCallback callback, void* context);

// How the sound engines open devices: the default one in the program, a
// recording one in tests.
using WaveOutOpener = std::function<std::unique_ptr<WaveOut>(
    std::span<const std::uint8_t> format, WaveOutDoneCallback callback, void* context)>;

// Puts the calling thread, one that feeds a device, in the class of the
// system's sound threads where the system allows it (Linux: real time, below
// the sound server; not inherited by child processes); else leaves it as it is.
void raiseSoundThreadPriority();

// Times, since the process started, that a playing device ran out of samples
// while more were still expected (a gap in the sound).
std::uint64_t waveOutUnderrunCount();

}  // namespace lumivox::platform
