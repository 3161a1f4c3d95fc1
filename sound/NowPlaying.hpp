#pragma once
// What the board has started and still sounds, for the remote panel: an effect
// from its start for as long as its recording lasts, a song until another song,
// the stop button or the end of every sound. Any thread.
#include <vector>

namespace lumivox {

struct PlayingItem {
    enum class Kind { Effect, Song } kind = Kind::Effect;
    int number = 0;  // effect button 1 to 50, song slot 1 to 18
    bool operator==(const PlayingItem&) const = default;
};

void noteEffectStarted(int button);
void noteSongStarted(int slot);
void noteEverythingStopped();
// In the order they started (an effect played twice shows twice).
std::vector<PlayingItem> nowPlaying();

}  // namespace lumivox
