#include "online/VersionCheck.hpp"

#include <thread>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "forms/Layout.hpp"
#include "online/BuildInfo.hpp"
#include "online/Update.hpp"
#include "online/Site.hpp"
#include "online/VersionFile.hpp"
#include "platform/GuiThread.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox::online {
namespace {

constexpr std::string_view kTimer = "时钟1";
constexpr std::string_view kCountdown = "进度条1";

}  // namespace

void onStartupTimerTick(Window& mainWindow) {
    mainWindow.setPosition(kCountdown, mainWindow.position(kCountdown) + 1);
    if (mainWindow.position(kCountdown) == 1) {
        // The layout's text stands for the build's own version.
        mainWindow.setText(kBuiltInVersionStore, Text(builtInVersion()));
    }
    if (mainWindow.position(kCountdown) != 100) {
        return;
    }
    mainWindow.setPosition(kCountdown, 0);
    mainWindow.setInterval(kTimer, 0);  // stopped first: the check runs once
    if (selfUpdating()) {
        runVersionCheck(mainWindow);
    }
}

void runVersionCheck(Window& mainWindow) {
    // The read runs on its own thread so that the sound board and the hotkeys
    // go on while the server is slow; the thread owns nothing of the window and
    // finds it again on the GUI thread (runOnGuiThread refuses once the program
    // ends, and the thread then just returns).
    Forms* forms = &mainWindow.forms();
    std::thread([forms, url = gbkToUtf8(siteUrl("/111.txt"))] {
        const ByteData file = platform::readHttpFile(url, kVersionFileLimits);
        platform::runOnGuiThread([forms, &file] {
            if (Window* main = forms->openWindow(layout::kMainWindow)) {
                applyVersionFile(*main, file);
            }
        });
    }).detach();
}

void applyVersionFile(Window& mainWindow, const ByteData& file) {
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
        updateWindowClosed();
    }
}

}  // namespace lumivox::online
