#pragma once
// Who hears a sound: the viewers (through the virtual microphone on Linux, a
// chosen output device on Windows), the host (the monitor device), or both;
// and at what volume. The sound engines open their devices here, by the kind
// of sound, instead of on the default device; the program sets the route at
// start and whenever the host changes it, and every sound already playing
// follows the change.
//
// Threads: `setSoundRoute` and the device lists are called on the GUI thread
// and never wait for the sound server (the lists are what it last reported);
// `openRoutedWaveOut` is called by the engines' own threads, like `openWaveOut`.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/WaveOut.hpp"

namespace lumivox::platform {

enum class SoundKind { effect, song };

struct SoundRoute {
    bool effectsToMicrophone = false;  // the viewers hear the effects
    bool songsToMicrophone = false;    // the viewers hear the songs
    bool monitor = true;               // the host hears effects and songs
    int effectsVolume = 100;           // 0 to 100 %
    int songsVolume = 100;
    std::string monitorDevice;  // device names; empty: the system's default
    std::string microphone;     // the host's real microphone (Linux)
    std::string viewersDevice;  // the viewers' output device (Windows)
    bool operator==(const SoundRoute&) const = default;
};

// A device the host can pick: its name (kept in the settings) and what the
// system calls it for people.
struct SoundDevice {
    std::string name;
    std::string description;
};

// True where the program makes a virtual microphone of its own (Linux); where
// it cannot (Windows, without a driver), the viewers hear through an output
// device the host picks.
bool hasVirtualMicrophone();

void setSoundRoute(const SoundRoute& route);
SoundRoute soundRoute();

// A device for one sound of that kind: the sound goes where the route sends
// sounds of its kind, at its volume, and follows later changes of the route.
std::unique_ptr<WaveOut> openRoutedWaveOut(std::span<const std::uint8_t> format,
                                           WaveOutDoneCallback callback, void* context,
                                           SoundKind kind);

// The output devices (monitor, viewers) and input devices (microphones) that
// exist now, without the program's own.
std::vector<SoundDevice> soundOutputDevices();
std::vector<SoundDevice> soundInputDevices();

}  // namespace lumivox::platform
