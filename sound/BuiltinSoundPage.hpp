#pragma once
// The effects page: buttons 1 to 50 each play their embedded effect, 51 stops
// every sound (a song included).
namespace lumivox {

// Plays effect n (1 to 50) on a voice of its own; other numbers do nothing.
void playBuiltinSound(int button);

// Button 51 and the slots' stop buttons: every effect, MIDI sound and song
// (`stopAllSounds`), without the service's header in the window's wiring.
void stopEverySound();

}  // namespace lumivox
