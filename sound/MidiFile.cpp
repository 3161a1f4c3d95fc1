#include "sound/MidiFile.hpp"

#include <algorithm>
#include <cstring>

namespace lumivox {
namespace {

constexpr std::uint32_t kDefaultTempoUs = 500000;  // 120 beats a minute

std::uint32_t be32(const std::uint8_t* at) {
    return (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
           (static_cast<std::uint32_t>(at[2]) << 8) | at[3];
}
std::uint16_t be16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

// One event of a track with its time in ticks, before tempo is applied.
struct TickEvent {
    std::uint64_t tick;
    std::size_t order;  // keeps events of equal time in file order
    bool isTempo;
    std::uint32_t tempoUs;
    MidiEvent event;
};

class TrackReader {
public:
    explicit TrackReader(std::span<const std::uint8_t> body) : body_(body) {}

    bool done() const { return at_ >= body_.size(); }

    std::optional<std::uint32_t> variableLength() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at_ >= body_.size()) {
                return std::nullopt;
            }
            const std::uint8_t byte = body_[at_++];
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }
    std::optional<std::uint8_t> byte() {
        if (at_ >= body_.size()) {
            return std::nullopt;
        }
        return body_[at_++];
    }
    std::optional<std::span<const std::uint8_t>> bytes(std::uint32_t count) {
        if (count > body_.size() - at_) {
            return std::nullopt;
        }
        auto result = body_.subspan(at_, count);
        at_ += count;
        return result;
    }

private:
    std::span<const std::uint8_t> body_;
    std::size_t at_ = 0;
};

// Reads one track's events; stops at an end-of-track event or at bytes cut short.
void readTrack(std::span<const std::uint8_t> body, std::vector<TickEvent>& out) {
    TrackReader reader(body);
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (!reader.done()) {
        const auto delta = reader.variableLength();
        auto first = reader.byte();
        if (!delta || !first) {
            return;
        }
        tick += *delta;
        TickEvent item{tick, out.size(), false, 0, {}};
        std::uint8_t status = *first;
        if (status == 0xFF) {
            const auto type = reader.byte();
            const auto length = type ? reader.variableLength() : std::nullopt;
            const auto data = length ? reader.bytes(*length) : std::nullopt;
            if (!data) {
                return;
            }
            if (*type == 0x2F) {
                item.event.status = 0;  // end of track: only its time counts
                out.push_back(std::move(item));
                return;
            }
            if (*type == 0x51 && data->size() == 3) {
                item.isTempo = true;
                item.tempoUs = (static_cast<std::uint32_t>((*data)[0]) << 16) |
                               (static_cast<std::uint32_t>((*data)[1]) << 8) | (*data)[2];
                out.push_back(std::move(item));
            }
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            const auto length = reader.variableLength();
            const auto data = length ? reader.bytes(*length) : std::nullopt;
            if (!data) {
                return;
            }
            running = 0;
            auto bodyBytes = *data;
            if (!bodyBytes.empty() && bodyBytes.back() == 0xF7) {
                bodyBytes = bodyBytes.first(bodyBytes.size() - 1);
            }
            if (status == 0xF0) {
                item.event.status = 0xF0;
                item.event.systemExclusive.assign(bodyBytes.begin(), bodyBytes.end());
                out.push_back(std::move(item));
            }
            continue;
        }
        std::optional<std::uint8_t> data1;
        if (status < 0x80) {
            if (running == 0) {
                return;  // data without a status: the track is damaged
            }
            data1 = status;
            status = running;
        } else if (status >= 0xF0) {
            return;  // a system common message has no place in a file
        } else {
            running = status;
            data1 = reader.byte();
        }
        const std::uint8_t kind = status & 0xF0;
        const bool twoBytes = kind != 0xC0 && kind != 0xD0;
        const auto data2 = twoBytes ? reader.byte() : std::optional<std::uint8_t>(0);
        if (!data1 || !data2) {
            return;
        }
        item.event.status = status;
        item.event.data1 = *data1 & 0x7F;
        item.event.data2 = *data2 & 0x7F;
        out.push_back(std::move(item));
    }
}

}  // namespace

std::optional<MidiSong> parseMidiFile(std::span<const std::uint8_t> file) {
    if (file.size() < 14 || std::memcmp(file.data(), "MThd", 4) != 0 || be32(file.data() + 4) != 6) {
        return std::nullopt;
    }
    MidiSong song;
    song.format = be16(file.data() + 8);
    song.trackCount = be16(file.data() + 10);
    song.division = be16(file.data() + 12);
    if (song.division == 0 || (song.division & 0x8000 && (song.division & 0xFF) == 0)) {
        return std::nullopt;
    }
    std::vector<TickEvent> ticks;
    std::size_t at = 14;
    for (std::uint16_t track = 0; track < song.trackCount; ++track) {
        if (file.size() - at < 8 || std::memcmp(file.data() + at, "MTrk", 4) != 0) {
            return std::nullopt;
        }
        const std::uint32_t length = be32(file.data() + at + 4);
        if (length > file.size() - at - 8) {
            return std::nullopt;
        }
        readTrack(file.subspan(at + 8, length), ticks);
        at += 8 + static_cast<std::size_t>(length);
    }
    std::stable_sort(ticks.begin(), ticks.end(), [](const TickEvent& a, const TickEvent& b) {
        return a.tick < b.tick;
    });
    // Ticks to microseconds. Metrical time follows the tempo map; SMPTE time has
    // a fixed tick length (frames a second times ticks a frame).
    const bool smpte = (song.division & 0x8000) != 0;
    double usPerTick = 0;
    if (smpte) {
        const int framesPerSecond = -static_cast<std::int8_t>(song.division >> 8);
        const double fps = framesPerSecond == 29 ? 29.97 : std::max(framesPerSecond, 1);
        usPerTick = 1e6 / (fps * (song.division & 0xFF));
    } else {
        usPerTick = static_cast<double>(kDefaultTempoUs) / song.division;
    }
    double timeUs = 0;
    std::uint64_t lastTick = 0;
    for (TickEvent& item : ticks) {
        timeUs += static_cast<double>(item.tick - lastTick) * usPerTick;
        lastTick = item.tick;
        // Beyond about 292,000 years the time stops growing.
        const std::uint64_t now =
            timeUs < 9.2e18 ? static_cast<std::uint64_t>(timeUs) : static_cast<std::uint64_t>(9.2e18);
        song.lengthUs = std::max(song.lengthUs, now);
        if (item.isTempo) {
            if (!smpte && item.tempoUs > 0) {
                usPerTick = static_cast<double>(item.tempoUs) / song.division;
            }
            continue;
        }
        if (item.event.status == 0) {
            continue;  // end of track
        }
        item.event.timeUs = now;
        song.events.push_back(std::move(item.event));
    }
    return song;
}

}  // namespace lumivox
