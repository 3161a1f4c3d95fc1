#include "shell/Startup.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QFont>

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

Text dataFolder() {
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
    return utf8ToGbk(base + "/Lumivox");
}

Text dataFilePath(std::string_view name) {
    return joinTexts(dataFolder(), "/", utf8ToGbk(name));
}

void onMainWindowCreated(Window& window) {
    const Text folder = dataFolder();
    if (!pathExists(folder)) {
        makeDirectory(folder);  // one level only; the result is not looked at
    }
    window.setText(kCustomSongsStore, valueToText(readWholeFile(dataFilePath(kCustomSongsFile))));
    window.setText(kHotkeyPhrasesStore,
                   valueToText(readWholeFile(dataFilePath(kHotkeyPhrasesFile))));
    const StartupSteps& steps = startupSteps();
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

int startProgram(FormRuntime& runtime, std::string_view mainLayout) {
    enterProgramFolder();
    const StartupSteps& steps = startupSteps();
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
