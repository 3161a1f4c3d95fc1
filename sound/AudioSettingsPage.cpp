#include "sound/AudioSettingsPage.hpp"

#include <algorithm>
#include <string>

#include "base/Encoding.hpp"
#include "platform/SettingsStore.hpp"
#include "platform/SoundRouting.hpp"
#include "platform/SystemOps.hpp"
#include "sound/AudioSettings.hpp"

namespace lumivox {
namespace {

using platform::SoundRoute;

constexpr int kVolumeStep = 10;

std::string onOff(bool on) { return on ? "开" : "关"; }

// What a device name stands for, as the system describes it.
std::string describe(const std::string& name, const std::vector<platform::SoundDevice>& devices) {
    if (name.empty()) {
        return "系统默认";
    }
    for (const platform::SoundDevice& device : devices) {
        if (device.name == name) {
            if (device.description.empty()) {
                return name;
            }
            // Two devices of one description are told apart by their names.
            const auto same = std::count_if(devices.begin(), devices.end(), [&](const auto& other) {
                return other.description == device.description;
            });
            return same > 1 ? device.description + "（" + name + "）" : device.description;
        }
    }
    return name + "（现在不在，用系统默认）";
}

// After "default", each device that exists in turn, then "default" again.
std::string nextDevice(const std::string& current,
                       const std::vector<platform::SoundDevice>& devices) {
    if (devices.empty()) {
        return {};
    }
    if (current.empty()) {
        return devices.front().name;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].name == current) {
            return i + 1 < devices.size() ? devices[i + 1].name : std::string();
        }
    }
    return {};
}

// The route now, the document's as read at start and changed by the window since.
SoundRoute currentRoute() { return readAudioSettings(platform::SettingsStore::instance().snapshot()); }

void apply(Window& window, const SoundRoute& before, const SoundRoute& after) {
    platform::setSoundRoute(after);
    const bool saved = platform::SettingsStore::instance().change(
        [&](IniDocument& document) { writeAudioSettings(document, before, after); });
    showAudioSettings(window);
    if (!saved) {
        showMessageBox(utf8ToGbk("设置已生效，但没能保存到 lumivox.ini，下次启动时会恢复原来的设置。"),
                       kMessageBoxIconWarning, utf8ToGbk("提示"));
    }
}

void setCaption(Window& window, std::string_view control, const std::string& utf8) {
    window.setCaption(control, utf8ToGbk(utf8));
}

}  // namespace

void showAudioSettings(Window& window) {
    const SoundRoute route = currentRoute();
    const bool mic = platform::hasVirtualMicrophone();
    setCaption(window, "音频说明",
               mic ? "打开“音效进麦克风”后，Lumivox 建立一个虚拟麦克风“Lumivox 麦克风”：你的真实"
                     "麦克风加上音效（和打开时的歌曲）。在直播软件、浏览器、连麦或语音聊天里把麦克风选成"
                     "“Lumivox 麦克风”，观众就能听到音效。关掉后它就消失。"
                   : "Windows上程序自己不能做麦克风：先装好一个虚拟声卡（例如虚拟音频线），在下面选它作为"
                     "“观众设备”，再把直播软件的麦克风选成这个声卡的录音端。");
    setCaption(window, "音频开关标签1",
               std::string(mic ? "音效进麦克风：" : "音效给观众：") + onOff(route.effectsToMicrophone));
    setCaption(window, "音频开关标签2",
               std::string(mic ? "歌曲进麦克风：" : "歌曲给观众：") + onOff(route.songsToMicrophone));
    setCaption(window, "音频开关标签3", "自己监听：" + onOff(route.monitor));
    setCaption(window, "音频音量标签1", "音效音量：" + std::to_string(route.effectsVolume) + "%");
    setCaption(window, "音频音量标签2", "歌曲音量：" + std::to_string(route.songsVolume) + "%");
    const auto outputs = platform::soundOutputDevices();
    setCaption(window, "音频设备标签1", "监听设备：" + describe(route.monitorDevice, outputs));
    if (mic) {
        setCaption(window, "音频设备标签2",
                   "真实麦克风：" + describe(route.microphone, platform::soundInputDevices()));
    } else {
        setCaption(window, "音频设备标签2", "观众设备：" + describe(route.viewersDevice, outputs));
    }
}

void onAudioSwitch(Window& window, int number) {
    const SoundRoute before = currentRoute();
    SoundRoute after = before;
    switch (number) {
        case 1: after.effectsToMicrophone = !after.effectsToMicrophone; break;
        case 2: after.songsToMicrophone = !after.songsToMicrophone; break;
        case 3: after.monitor = !after.monitor; break;
        default: return;
    }
    apply(window, before, after);
}

void onAudioVolume(Window& window, int number) {
    const SoundRoute before = currentRoute();
    SoundRoute after = before;
    int& volume = number <= 2 ? after.effectsVolume : after.songsVolume;
    // Steps land on multiples of 10 whatever the file held.
    const int down = (volume - 1) / kVolumeStep * kVolumeStep;
    const int up = volume / kVolumeStep * kVolumeStep + kVolumeStep;
    volume = number % 2 == 1 ? std::max(0, down) : std::min(100, up);
    apply(window, before, after);
}

void onAudioDevice(Window& window, int number) {
    const SoundRoute before = currentRoute();
    SoundRoute after = before;
    if (number == 1) {
        after.monitorDevice = nextDevice(after.monitorDevice, platform::soundOutputDevices());
    } else if (platform::hasVirtualMicrophone()) {
        after.microphone = nextDevice(after.microphone, platform::soundInputDevices());
    } else {
        after.viewersDevice = nextDevice(after.viewersDevice, platform::soundOutputDevices());
    }
    apply(window, before, after);
}

}  // namespace lumivox
