#include "sound/BuiltinSoundPage.hpp"

#include "assets/Assets.hpp"
#include "sound/BuiltinSoundTable.hpp"
#include "sound/NowPlaying.hpp"
#include "sound/SoundService.hpp"

namespace lumivox {

void playBuiltinSound(int button) {
    // The effect stays in the executable's read-only image; the voice copies
    // only its samples.
    const std::span<const std::uint8_t> wav = assets::find(builtinSoundAssetName(button));
    if (!wav.empty() && playSound(wav)) {
        noteEffectStarted(button);
    }
}

void stopEverySound() {
    stopAllSounds();
    noteEverythingStopped();
}

}  // namespace lumivox
