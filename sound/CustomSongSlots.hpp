#pragma once
// The 18 song slots of the custom-songs page and their settings file. A slot is
// its name label's caption (what the host sees and what is saved) and its hidden
// path box; the settings file holds name 1, path 1, ... name 18, path 18, every
// field followed by the settings separator, as GBK bytes.
#include <string_view>
#include <vector>

#include "base/TextOps.hpp"
#include "forms/Window.hpp"

namespace lumivox {

inline constexpr int kSongSlotCount = 18;

// The caption a slot shows until a song is chosen (GBK).
Text songSlotPlaceholder();

// The host pressed slot n's name: the open-file dialog, then the slot takes the
// dialog's file name (after Cancel, the last file chosen in any slot, or nothing)
// and the settings file at `settingsPath` is rewritten.
void chooseSongForSlot(Window& window, int slot, const Text& settingsPath);

// Writes all 18 slots to `settingsPath` (the whole file, replaced atomically).
// The first empty path becomes "无" and the first empty name the placeholder.
void saveCustomSongs(Window& window, const Text& settingsPath);

// The fields of a settings text in slot order (name 1, path 1, ...): at most 36,
// fewer when the text holds fewer.
std::vector<Text> customSongFields(std::string_view settings);

// Fills the slots from the settings text the start-up put in its store box.
// Fields past the 36th are ignored; slots without fields keep what they show.
void loadCustomSongs(Window& window);

// Plays slot n's song once, replacing any song playing.
void playSongSlot(Window& window, int slot);

}  // namespace lumivox
