#pragma once
// The sound block of the settings window: three switches (effects to the
// viewers, songs to the viewers, the host hears), the two volumes in steps of
// 10 % and the device buttons, each click moving to the next device that
// exists. Every click is applied to the sound at once and saved in
// lumivox.ini; a save that fails is told to the host.
#include "forms/Window.hpp"

namespace lumivox {

void showAudioSettings(Window& window);
// `音频开关按钮n`, `音频音量按钮n`, `音频设备按钮n`.
void onAudioSwitch(Window& window, int number);
void onAudioVolume(Window& window, int number);
void onAudioDevice(Window& window, int number);

}  // namespace lumivox
