#include "sound/NowPlaying.hpp"

#include <chrono>
#include <mutex>

#include "sound/BuiltinSoundTable.hpp"
#include "sound/SoundService.hpp"

namespace lumivox {
namespace {

using Clock = std::chrono::steady_clock;

struct Started {
    PlayingItem item;
    Clock::time_point endsAt;  // effects; songs end with the last sound
};

std::mutex mutex;
std::vector<Started> started;

Clock::duration lengthOf(int button) {
    const BuiltinSoundRow& row = kBuiltinSounds[static_cast<std::size_t>(button - 1)];
    const double bytesPerSecond = row.rate * row.channels * row.bits / 8.0;
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(row.dataBytes / bytesPerSecond));
}

}  // namespace

void noteEffectStarted(int button) {
    if (button < 1 || button > kBuiltinSoundCount) {
        return;
    }
    std::lock_guard lock(mutex);
    started.push_back({{PlayingItem::Kind::Effect, button}, Clock::now() + lengthOf(button)});
}

void noteSongStarted(int slot) {
    std::lock_guard lock(mutex);
    std::erase_if(started, [](const Started& s) { return s.item.kind == PlayingItem::Kind::Song; });
    started.push_back({{PlayingItem::Kind::Song, slot}, Clock::time_point::max()});
}

void noteEverythingStopped() {
    std::lock_guard lock(mutex);
    started.clear();
}

std::vector<PlayingItem> nowPlaying() {
    const bool sounding = SoundService::instance().isSounding();
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex);
    std::erase_if(started, [&](const Started& s) { return !sounding || s.endsAt <= now; });
    std::vector<PlayingItem> items;
    for (const Started& s : started) {
        items.push_back(s.item);
    }
    return items;
}

}  // namespace lumivox
