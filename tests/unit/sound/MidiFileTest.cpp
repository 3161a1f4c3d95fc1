#include <gtest/gtest.h>

#include "base/Types.hpp"
#include "sound/MidiFile.hpp"

namespace lumivox {
namespace {

ByteData be(std::uint32_t value, int bytes) {
    ByteData out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

ByteData midi(std::uint16_t format, std::uint16_t division, const std::vector<ByteData>& tracks,
              std::optional<std::uint16_t> announced = {}, std::uint32_t headerLength = 6) {
    ByteData out = {'M', 'T', 'h', 'd'};
    auto append = [&out](const ByteData& more) { out.insert(out.end(), more.begin(), more.end()); };
    append(be(headerLength, 4));
    append(be(format, 2));
    append(be(announced.value_or(static_cast<std::uint16_t>(tracks.size())), 2));
    append(be(division, 2));
    for (std::uint32_t extra = 6; extra < headerLength; ++extra) {
        out.push_back(0);
    }
    for (const ByteData& track : tracks) {
        append({'M', 'T', 'r', 'k'});
        append(be(static_cast<std::uint32_t>(track.size()), 4));
        append(track);
    }
    return out;
}

TEST(MidiFile, HeaderAndTrackChecks) {
    const ByteData note = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
    ByteData badTrackId = midi(0, 96, {note});
    badTrackId[14] = 'X';
    ByteData longTrack = midi(0, 96, {note});
    longTrack[21] += 1;  // the track claims one byte more than there is
    struct Case {
        const char* name;
        ByteData file;
        bool parses;
    };
    const std::vector<Case> cases = {
        {"one track", midi(0, 96, {note}), true},
        {"header length 7", midi(0, 96, {note}, {}, 7), false},
        {"not MThd", ByteData{'M', 'T', 'h', 'x', 0, 0, 0, 6, 0, 0, 0, 0, 0, 96}, false},
        {"division 0", midi(0, 0, {note}), false},
        {"track is not MTrk", badTrackId, false},
        {"track longer than the file", longTrack, false},
        {"more tracks announced than present", midi(1, 96, {note}, 2), false},
        {"no tracks announced", midi(1, 96, {}, 0), true},
        {"SMPTE division", midi(0, 0xE728, {note}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseMidiFile(c.file).has_value(), c.parses);
    }
}

// Tracks merge on one time line; a tempo change in the first track applies to
// every track from its tick on; running status and a damaged tail are handled.
TEST(MidiFile, EventsInMicrosecondsAcrossTracksAndTempoChanges) {
    const ByteData tempoTrack = {
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500,000 us a beat
        0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // at tick 96: 1,000,000 us a beat
        0x00, 0xFF, 0x2F, 0x00};
    const ByteData notes = {
        0x00, 0xC1, 5,               // program change, one data byte
        0x30, 0x91, 64, 90,          // tick 48 = 0.25 s
        0x60, 64, 0,                 // running status: tick 144 = 0.5 s + 0.5 s
        0x00, 0xF0, 0x03, 1, 2, 0xF7,  // system exclusive
        0x81, 0x00, 0x91, 67,        // cut short: ends the track
    };
    const auto song = parseMidiFile(midi(1, 96, {tempoTrack, notes}));
    ASSERT_TRUE(song);
    ASSERT_EQ(song->events.size(), 4u);
    EXPECT_EQ(song->events[0].status, 0xC1);
    EXPECT_EQ(song->events[0].data1, 5);
    EXPECT_EQ(song->events[0].timeUs, 0u);
    EXPECT_EQ(song->events[1].status, 0x91);
    EXPECT_EQ(song->events[1].timeUs, 250000u);
    EXPECT_EQ(song->events[2].status, 0x91);
    EXPECT_EQ(song->events[2].data2, 0);
    EXPECT_EQ(song->events[2].timeUs, 1000000u);
    EXPECT_EQ(song->events[3].status, 0xF0);
    EXPECT_EQ(song->events[3].systemExclusive, (ByteData{1, 2}));
    EXPECT_EQ(song->lengthUs, 1000000u);
}

}  // namespace
}  // namespace lumivox
