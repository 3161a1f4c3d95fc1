#pragma once
// Standard MIDI Files: the header and track checks, and the events of all
// tracks merged on one time line in microseconds (tempo changes applied).
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lumivox {

struct MidiEvent {
    std::uint64_t timeUs = 0;
    std::uint8_t status = 0;  // 0x80..0xEF, or 0xF0 for a system-exclusive message
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::vector<std::uint8_t> systemExclusive;  // body without F0 / F7
};

struct MidiSong {
    std::uint16_t format = 0;
    std::uint16_t trackCount = 0;
    std::uint16_t division = 0;
    std::vector<MidiEvent> events;  // in time order
    std::uint64_t lengthUs = 0;     // time of the last event (end of track included)
};

// Nothing when "MThd" is missing or its length is not 6, the division is 0, or
// one of the announced tracks does not start with "MTrk" and a length that fits
// the data. An event cut short ends its track.
std::optional<MidiSong> parseMidiFile(std::span<const std::uint8_t> file);

}  // namespace lumivox
