#include "app/Startup.hpp"

#include <filesystem>

#include "app/EventWiring.hpp"
#include "base/Encoding.hpp"
#include "base/ProgramEnd.hpp"
#include "base/TextOps.hpp"
#include "platform/DataFolder.hpp"
#include "platform/Executable.hpp"
#include "platform/Files.hpp"
#include "platform/SettingsStore.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kCustomSongsStore = "编辑框自定义配置";
constexpr std::string_view kHotkeyPhrasesStore = "编辑框快捷配置";

// The folder that holds the data folder ("" when it has none).
std::string folderAbove(const std::string& folder) {
    const size_t last = folder.find_last_of("/\\");
    return last == std::string::npos || last == 0 ? std::string() : folder.substr(0, last);
}

}  // namespace

Text dataFolder() {
    return utf8ToGbk(platform::dataFolder());
}

Text dataFilePath(std::string_view name) {
#ifdef _WIN32
    constexpr std::string_view separator = "\\";
#else
    constexpr std::string_view separator = "/";
#endif
    return joinTexts(dataFolder(), separator, utf8ToGbk(name));
}

void onMainWindowCreated(Window& window) {
    onMainWindowCreated(window, startupSteps());
}

void onMainWindowCreated(Window& window, const StartupSteps& steps) {
    const Text folder = dataFolder();
    if (!pathExists(folder)) {
        // A new account or a container has no configuration folder yet: without
        // it the data folder could not be made and every later save would fail.
        if (const std::string above = folderAbove(platform::dataFolder()); !above.empty()) {
            platform::createPrivateFolders(above);
        }
        makeDirectory(folder);  // the result is not looked at
    }
    // The program's own settings (who hears a sound, own sounds, the remote
    // panel) are read before the loaders, which may look at them.
    platform::SettingsStore::instance().open(platform::dataFolder() + "/" +
                                             std::string(platform::kSettingsFileName));
    if (steps.applySettings) {
        steps.applySettings();
    }
    window.setText(kCustomSongsStore, valueToText(readWholeFile(dataFilePath(kCustomSongsFile))));
    window.setText(kHotkeyPhrasesStore,
                   valueToText(readWholeFile(dataFilePath(kHotkeyPhrasesFile))));
    if (!textsEqual(window.text(kCustomSongsStore), "") && steps.loadCustomSongs) {
        steps.loadCustomSongs(window);
    }
    if (!textsEqual(window.text(kHotkeyPhrasesStore), "") && steps.loadHotkeyPhrases) {
        steps.loadHotkeyPhrases(window);
    }
}

void enterProgramFolder() {
    const std::string folder = platform::programFolder();
    if (!folder.empty()) {
        std::error_code error;
        std::filesystem::current_path(
            std::filesystem::path(std::u8string(folder.begin(), folder.end())), error);
    }
}

int startProgram(Forms& forms, std::string_view mainLayout, const StartupSteps& steps) {
    enterProgramFolder();
    if (steps.initDownloadTask) {
        steps.initDownloadTask();
    }
    if (steps.releaseDownloadTask) {
        addProgramEndRoutine(steps.releaseDownloadTask);
    }
    if (!forms.loadWindow(mainLayout, nullptr, false)) {
        showMessageBox(utf8ToGbk("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"),
                       kMessageBoxIconError, utf8ToGbk("错误"));
        return -1;
    }
    return 0;
}

}  // namespace lumivox
