#include "shell/Startup.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QFont>

#include "platform/Files.hpp"
#include "shell/EventWiring.hpp"
#include "shell/FormRuntime.hpp"
#include "shell/Pictures.hpp"
#include "util/Encoding.hpp"
#include "util/ProgramEnd.hpp"
#include "util/TextUtil.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kCustomSongsStore = "编辑框自定义配置";
constexpr std::string_view kHotkeyPhrasesStore = "编辑框快捷配置";

}  // namespace

namespace {

// The user's configuration folder, as the OS names it.
std::string configFolder() {
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base;
}

}  // namespace

Text dataFolder() {
    return utf8ToGbk(configFolder() + "/Lumivox");
}

Text dataFilePath(std::string_view name) {
    return joinTexts(dataFolder(), "/", utf8ToGbk(name));
}

void onMainWindowCreated(Window& window) {
    onMainWindowCreated(window, startupSteps());
}

void onMainWindowCreated(Window& window, const StartupSteps& steps) {
    const Text folder = dataFolder();
    if (!pathExists(folder)) {
        // A new account or a container has no configuration folder yet: without
        // it the data folder could not be made and every later save would fail.
        platform::createPrivateFolders(configFolder());
        makeDirectory(folder);  // the result is not looked at
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

void setUpApplicationLook() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    QApplication::setWindowIcon(programIcon());
}

void enterProgramFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && program.has_parent_path()) {
        std::filesystem::current_path(program.parent_path(), error);
    }
}

int startProgram(FormRuntime& runtime, std::string_view mainLayout, const StartupSteps& steps) {
    enterProgramFolder();
    if (steps.initDownloadTask) {
        steps.initDownloadTask();
    }
    if (steps.releaseDownloadTask) {
        addProgramEndRoutine(steps.releaseDownloadTask);
    }
    if (!runtime.loadWindow(mainLayout, nullptr, false)) {
        showMessageBox(utf8ToGbk("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"),
                       kMessageBoxIconError, utf8ToGbk("错误"));
        return -1;
    }
    return 0;
}

}  // namespace lumivox
