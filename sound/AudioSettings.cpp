#include "sound/AudioSettings.hpp"

#include "platform/SettingsStore.hpp"

namespace lumivox {

platform::SoundRoute readAudioSettings(const IniDocument& document) {
    const std::string_view g = kAudioGroup;
    platform::SoundRoute route;
    route.effectsToMicrophone = document.boolValue(g, "effects_to_microphone", false);
    route.songsToMicrophone = document.boolValue(g, "songs_to_microphone", false);
    route.monitor = document.boolValue(g, "monitor", true);
    route.effectsVolume = static_cast<int>(document.intValue(g, "effects_volume", 0, 100, 100));
    route.songsVolume = static_cast<int>(document.intValue(g, "songs_volume", 0, 100, 100));
    route.monitorDevice = document.value(g, "monitor_device").value_or("");
    route.microphone = document.value(g, "microphone").value_or("");
    route.viewersDevice = document.value(g, "viewers_device").value_or("");
    return route;
}

void writeAudioSettings(IniDocument& document, const platform::SoundRoute& before,
                        const platform::SoundRoute& after) {
    const std::string_view g = kAudioGroup;
    auto boolKey = [&](std::string_view key, bool platform::SoundRoute::*field) {
        if (before.*field != after.*field) {
            document.setBool(g, key, after.*field);
        }
    };
    auto intKey = [&](std::string_view key, int platform::SoundRoute::*field) {
        if (before.*field != after.*field) {
            document.setInt(g, key, after.*field);
        }
    };
    auto textKey = [&](std::string_view key, std::string platform::SoundRoute::*field) {
        if (before.*field != after.*field) {
            document.set(g, key, after.*field);
        }
    };
    boolKey("effects_to_microphone", &platform::SoundRoute::effectsToMicrophone);
    boolKey("songs_to_microphone", &platform::SoundRoute::songsToMicrophone);
    boolKey("monitor", &platform::SoundRoute::monitor);
    intKey("effects_volume", &platform::SoundRoute::effectsVolume);
    intKey("songs_volume", &platform::SoundRoute::songsVolume);
    textKey("monitor_device", &platform::SoundRoute::monitorDevice);
    textKey("microphone", &platform::SoundRoute::microphone);
    textKey("viewers_device", &platform::SoundRoute::viewersDevice);
}

void applyStoredAudioSettings() {
    platform::setSoundRoute(readAudioSettings(platform::SettingsStore::instance().snapshot()));
}

}  // namespace lumivox
