// Windows plays MIDI through the system's own synthesizer (midiOut), not by
// rendering samples here: there is no software synthesizer in this build, which
// the MIDI player treats as a machine without one.
#include "platform/MidiSynth.hpp"

namespace lumivox::platform {

std::unique_ptr<MidiSynth> openMidiSynth(std::uint32_t) {
    return nullptr;
}

}  // namespace lumivox::platform
