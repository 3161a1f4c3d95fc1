#include "online/VersionCheck.hpp"

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "forms/Layout.hpp"
#include "online/Site.hpp"
#include "online/VersionFile.hpp"
#include "platform/SystemOps.hpp"
#include "platform/Web.hpp"

namespace lumivox::online {
namespace {

constexpr std::string_view kTimer = "时钟1";
constexpr std::string_view kCountdown = "进度条1";

}  // namespace

void onStartupTimerTick(Window& mainWindow) {
    mainWindow.setPosition(kCountdown, mainWindow.position(kCountdown) + 1);
    if (mainWindow.position(kCountdown) != 100) {
        return;
    }
    mainWindow.setPosition(kCountdown, 0);
    mainWindow.setInterval(kTimer, 0);  // stopped first: the check runs once
    runVersionCheck(mainWindow);
}

void runVersionCheck(Window& mainWindow) {
    // The GUI waits for the file; the read's own time limits bound the wait.
    const ByteData file = platform::readHttpFile(gbkToUtf8(siteUrl("/111.txt")));
    mainWindow.setText(kFileStore, valueToText(file));
    const TextArray fields = versionFields(mainWindow.text(kFileStore));
    if (fields.size() < 3) {
        showMessageBox(utf8ToGbk("无法检测到网络文件，或者网站正在维护,请稍后再试！"),
                       kMessageBoxOk);
        endProgram(0);
    }
    mainWindow.setText(kVersionStore, fields[0]);
    mainWindow.setText(kUrlStore, fields[1]);
    mainWindow.setText(kNameStore, fields[2]);
    if (textsEqual(mainWindow.text(kBuiltInVersionStore), mainWindow.text(kVersionStore))) {
        mainWindow.forms().loadWindow(layout::kUpdateWindow, nullptr, true);
    }
}

}  // namespace lumivox::online
