#pragma once
// A software General MIDI synthesizer: MIDI messages in, 16-bit stereo
// samples out. The MIDI player renders through it into a wave-output device.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace lumivox::platform {

class MidiSynth {
public:
    virtual ~MidiSynth() = default;
    // A channel message (status 0x80 to 0xEF with its one or two data bytes).
    virtual void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    // A system-exclusive message, without its F0 and F7 framing.
    virtual void sendSystemExclusive(std::span<const std::uint8_t> body) = 0;
    // Silences every voice and returns every channel to its start state.
    virtual void reset() = 0;
    // Interleaved left/right 16-bit samples for `frames` frames.
    virtual void render(std::int16_t* stereo, std::size_t frames) = 0;
};

// Nothing when no synthesizer or General MIDI sound font is installed.
std::unique_ptr<MidiSynth> openMidiSynth(std::uint32_t sampleRate);

}  // namespace lumivox::platform
