// The update step while this build has no signature check: a downloaded
// program could not be verified, so none is downloaded or started. The update
// window tells the host so and closes; the program runs on as it is. Built
// only while online/Update.cpp is left out of the Windows build.
#include "online/Update.hpp"
#include "util/Encoding.hpp"
#include "util/TextUtil.hpp"

namespace lumivox::online {

void initDownloadTask() {}

void releaseDownloadTask() {}

void onUpdateWindowCreated(Window& updateWindow) {
    showMessageBox(
        utf8ToGbk("有新版本，但此版本无法校验更新文件的签名，未下载更新。请到官方网站下载新版本。"),
        kMessageBoxOk, utf8ToGbk("提示"));
    updateWindow.close();
}

void onUpdateTimerTick(Window&) {}

}  // namespace lumivox::online
