// Windows plays MIDI through the system's own synthesizer (the MIDI mapper of
// winmm's midiOut, the GS wavetable synthesizer on a desktop) rather than by
// rendering samples here: no software synthesizer is built for Windows. The
// player still renders through this object into its wave device, which then
// carries silence; this object paces each message to the render position, so
// that a message goes out when the samples rendered with it would sound.
// Without a MIDI output device (Wine with no ALSA sequencer) there is no
// synthesizer, which the player treats as a machine without one.
#include <windows.h>

#include <mmsystem.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/MidiSynth.hpp"

namespace lumivox::platform {
namespace {

using Clock = std::chrono::steady_clock;

class MidiOutSynth final : public MidiSynth {
  public:
    MidiOutSynth(HMIDIOUT out, std::uint32_t sampleRate) : out_(out), sampleRate_(sampleRate) {}
    ~MidiOutSynth() override {
        midiOutReset(out_);
        midiOutClose(out_);
    }

    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        waitUntilDue();
        midiOutShortMsg(out_, static_cast<DWORD>(status) | static_cast<DWORD>(data1) << 8 |
                                  static_cast<DWORD>(data2) << 16);
    }

    void sendSystemExclusive(std::span<const std::uint8_t> body) override {
        waitUntilDue();
        std::vector<char> message;
        message.reserve(body.size() + 2);
        message.push_back(static_cast<char>(0xF0));
        message.insert(message.end(), body.begin(), body.end());
        message.push_back(static_cast<char>(0xF7));
        MIDIHDR header{};
        header.lpData = message.data();
        header.dwBufferLength = static_cast<DWORD>(message.size());
        if (midiOutPrepareHeader(out_, &header, sizeof header) != MMSYSERR_NOERROR)
            return;
        if (midiOutLongMsg(out_, &header, sizeof header) == MMSYSERR_NOERROR) {
            // The device owns the buffer until it is done with it (a few ms for
            // the messages a song carries; bounded all the same).
            const auto limit = Clock::now() + std::chrono::seconds(1);
            while (!(header.dwFlags & MHDR_DONE) && Clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        midiOutUnprepareHeader(out_, &header, sizeof header);
    }

    void reset() override {
        midiOutReset(out_);  // notes off and controllers back on every channel
        frames_ = 0;
        started_ = false;
    }

    void render(std::int16_t* stereo, std::size_t frames) override {
        start();
        std::memset(stereo, 0, frames * 2 * sizeof *stereo);  // the device makes the sound
        frames_ += frames;
    }

  private:
    void start() {
        if (!started_) {
            start_ = Clock::now();
            started_ = true;
        }
    }

    // The player renders ahead of its wave device by its queue of buffers at
    // most: the wait is that long or less.
    void waitUntilDue() {
        start();
        std::this_thread::sleep_until(start_ +
                                      std::chrono::microseconds(frames_ * 1000000 / sampleRate_));
    }

    HMIDIOUT out_;
    std::uint32_t sampleRate_;
    std::uint64_t frames_ = 0;  // rendered since the last reset
    bool started_ = false;
    Clock::time_point start_{};
};

}  // namespace

std::unique_ptr<MidiSynth> openMidiSynth(std::uint32_t sampleRate) {
    HMIDIOUT out = nullptr;
    if (sampleRate == 0 || midiOutOpen(&out, MIDI_MAPPER, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        return nullptr;
    return std::make_unique<MidiOutSynth>(out, sampleRate);
}

}  // namespace lumivox::platform
