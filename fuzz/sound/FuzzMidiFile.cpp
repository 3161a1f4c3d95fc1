// The Standard MIDI File parser on any bytes.
#include <cstddef>
#include <cstdint>

#include "sound/MidiFile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto song = lumivox::parseMidiFile({data, size});
    if (song) {
        std::uint64_t last = 0;
        for (const auto& event : song->events) {
            if (event.timeUs < last) {
                __builtin_trap();  // events must come in time order
            }
            last = event.timeUs;
        }
    }
    return 0;
}
