// Every control event of the program and its handler. A subsystem that is built
// fills its rows' handlers (and its start-up steps below); until then those rows
// stay empty and their events do nothing.
#include "app/EventWiring.hpp"

#include "app/Pages.hpp"
#include "app/RemotePanelSection.hpp"
#include "app/Startup.hpp"
#include "forms/Layout.hpp"
#include "hotkeys/HotkeyPhrases.hpp"
#include "hotkeys/PhraseSettings.hpp"
#include "online/Links.hpp"
#include "online/Update.hpp"
#include "online/VersionCheck.hpp"
#include "sound/AudioSettings.hpp"
#include "sound/AudioSettingsPage.hpp"
#include "sound/BuiltinSoundPage.hpp"
#include "sound/CustomSongSlots.hpp"

namespace lumivox {
namespace {

// Adapts a handler that needs neither the event's arguments nor its number.
Handler windowOnly(void (*handler)(Window&)) {
    return [handler](Window& window, const Event&) { handler(window); };
}

std::vector<Binding> makeWiring() {
    constexpr std::string_view main = layout::kMainWindow;
    constexpr std::string_view update = layout::kUpdateWindow;
    constexpr std::string_view settings = layout::kSettingsWindow;
    const Handler openLink = [](Window&, const Event& event) { online::openLinkOf(event.control); };
    using E = EventKind;
    return {
        {main, "", 0, 0, E::Created, windowOnly(onMainWindowCreated)},
        // Counts 100 ticks on 进度条1, then runs the version check.
        {main, "时钟1", 0, 0, E::Tick, windowOnly(online::onStartupTimerTick)},
        // Sends phrase k for the hotkey reported.
        {main, "标签1", 0, 0, E::Notification,
         [](Window& window, const Event& event) {
             hotkeyPhraseSender().sendHotkeyPhrase(window, event.first);
         }},
        {main, "特定按钮1", 0, 0, E::Clicked, windowOnly(showHotkeyPage)},
        {main, "特定按钮2", 0, 0, E::Clicked, windowOnly(showBuiltinSoundPage)},
        {main, "特定按钮3", 0, 0, E::Clicked, windowOnly(showCustomSongPage)},
        // Website links: each opens its page of the maker's site.
        {main, "特定按钮", 4, 6, E::Clicked, openLink},
        {main, "透明标签2", 0, 0, E::LeftButtonDown, openLink},
        {main, "透明标签4", 0, 0, E::LeftButtonDown, openLink},
        {main, "官方音按钮52", 0, 0, E::Clicked, openLink},
        // The sound board: built-in sound n, stop all sounds, the song slots.
        {main, "官方音按钮", 1, 50, E::Clicked,
         [](Window&, const Event& event) { playBuiltinSound(event.number); }},
        {main, "官方音按钮51", 0, 0, E::Clicked, [](Window&, const Event&) { stopEverySound(); }},
        {main, "自定义歌曲名字", 1, 18, E::LeftButtonDown,
         [](Window& window, const Event& event) {
             chooseSongForSlot(window, event.number, dataFilePath(kCustomSongsFile));
         }},
        {main, "自定义播放按钮", 1, 18, E::Clicked,
         [](Window& window, const Event& event) { playSongSlot(window, event.number); }},
        {main, "自定义停止按钮", 1, 18, E::Clicked,
         [](Window&, const Event&) { stopEverySound(); }},
        // The hotkey phrases.
        {main, "保存配置按钮", 0, 0, E::Clicked,
         [](Window& window, const Event&) {
             saveHotkeyPhrases(window, dataFilePath(kHotkeyPhrasesFile));
         }},
        {main, "保存配置按钮1", 0, 0, E::Clicked,
         [](Window& window, const Event&) { hotkeyPhraseSender().switchHotkeysOn(window); }},
        {main, "保存配置按钮2", 0, 0, E::Clicked,
         [](Window& window, const Event&) { hotkeyPhraseSender().switchHotkeysOff(window); }},
        // The settings window: opened from the banner's corner; one block a subsystem.
        {main, "设置按钮", 0, 0, E::Clicked,
         [](Window& window, const Event&) {
             window.forms().loadWindow(layout::kSettingsWindow, &window, false);
         }},
        {settings, "", 0, 0, E::Created,
         [](Window& window, const Event&) {
             showAudioSettings(window);
             showRemoteSection(window);
         }},
        {settings, "遥控按钮", 1, 3, E::Clicked,
         [](Window& window, const Event& event) { onRemoteButton(window, event.number); }},
        {settings, "音频开关按钮", 1, 3, E::Clicked,
         [](Window& window, const Event& event) { onAudioSwitch(window, event.number); }},
        {settings, "音频音量按钮", 1, 4, E::Clicked,
         [](Window& window, const Event& event) { onAudioVolume(window, event.number); }},
        {settings, "音频设备按钮", 1, 2, E::Clicked,
         [](Window& window, const Event& event) { onAudioDevice(window, event.number); }},
        // The update window.
        {update, "", 0, 0, E::Created, windowOnly(online::onUpdateWindowCreated)},
        {update, "时钟1", 0, 0, E::Tick, windowOnly(online::onUpdateTimerTick)},
    };
}

}  // namespace

const std::vector<Binding>& eventWiring() {
    static const std::vector<Binding> wiring = makeWiring();
    return wiring;
}

const StartupSteps& startupSteps() {
    static const StartupSteps steps{
        .initDownloadTask = online::initDownloadTask,
        .releaseDownloadTask = online::releaseDownloadTask,
        .loadCustomSongs = loadCustomSongs,
        .loadHotkeyPhrases = loadHotkeyPhrases,
        .applySettings = applyStoredAudioSettings,
    };
    return steps;
}

}  // namespace lumivox
