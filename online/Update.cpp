#include "online/Update.hpp"

#include <atomic>
#include <chrono>
#include <memory>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "forms/Layout.hpp"
#include "online/BuildInfo.hpp"
#include "online/UpdateSignature.hpp"
#include "online/VersionFile.hpp"
#include "platform/Executable.hpp"
#include "platform/Files.hpp"
#include "platform/HeldProgram.hpp"
#include "platform/StartMenu.hpp"
#include "platform/GuiThread.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox::online {
namespace {

using Clock = std::chrono::steady_clock;

// A download that brings no byte for this long has failed: the engine itself
// would go on retrying a server that drops every connection for over an hour.
// The task keeps the limit, whether its window is open or not.
constexpr std::int32_t kStallLimitMs = 30000;

constexpr std::string_view kTimer = "时钟1";
constexpr std::string_view kProgress = "进度条1";
constexpr std::string_view kLabel = "透明标签1";
constexpr std::string_view kStatusBar = "状态条1";

struct UpdateState {
    std::unique_ptr<TaskParam> param;
    std::unique_ptr<Download> download;
    // Written by the engine's callback, read by the window's timer.
    std::atomic<double> totalLength{0};
    // Set on the GUI thread before the task starts; read by its control thread.
    Forms* forms = nullptr;
    Text baseName, version, signature, newVersion;
    // The control thread's own: the file the engine created, held while it is
    // downloaded (another copy updating at the same time leaves it alone), and
    // the outcome.
    Text createdPath;
    std::unique_ptr<platform::HeldFile> heldDownload;
    bool lengthKnown = false;
    bool segmentFailed = false;
    // Set once the program ends: the task's end then changes nothing more.
    std::atomic<bool> ending{false};
    // Set when the host closed the update window while the download ran.
    std::atomic<bool> abandoned{false};
    // Set by the task's end callback as it ends the program: the program's end
    // must then neither stop nor free the task, whose callback waits for it.
    std::atomic<bool> endedByTask{false};
    Clock::time_point lastTick{};
    UpdateHandOver handOver;  // set on the GUI thread before any task starts
};

// Never destroyed: the task's control thread may still look at it while the
// process ends.
UpdateState& state() {
    static UpdateState* const shared = new UpdateState;
    return *shared;
}

void stopUpdateTimer() {
    platform::runOnGuiThread([] {
        Forms* forms = state().forms;
        if (Window* window = forms ? forms->openWindow(layout::kUpdateWindow) : nullptr) {
            window->setInterval(kTimer, 0);
        }
    });
}

// The window's last values, before the task's end takes the host's attention.
void refreshUpdateWindow() {
    platform::runOnGuiThread([] {
        Forms* forms = state().forms;
        if (Window* window = forms ? forms->openWindow(layout::kUpdateWindow) : nullptr) {
            onUpdateTimerTick(*window);
        }
    });
}

[[noreturn]] void endUpdatingProgram() {
    if (!platform::isGuiThread()) {
        state().endedByTask = true;  // the task's own end callback
    }
    endProgram(0);
}

void tellHost(std::string_view utf8Message) {
    showMessageBox(utf8ToGbk(utf8Message), kMessageBoxIconInformation, utf8ToGbk("提示"));
}

// A failed update: the update window closes (its dialog loop ends and the main
// window takes input again), the host is told that this build runs on, and
// nothing is started.
void failUpdate(std::string_view utf8Message) {
    platform::runOnGuiThread([] {
        Forms* forms = state().forms;
        if (Window* window = forms ? forms->openWindow(layout::kUpdateWindow) : nullptr) {
            window->setInterval(kTimer, 0);
            window->close();
        }
    });
    tellHost(utf8Message);
}

constexpr std::string_view kFailedMessage =
    "自动更新失败，当前版本继续运行。请稍后再试或到官方网站下载新版本！";

void removeCreatedFile() {
    UpdateState& s = state();
    s.heldDownload.reset();
    if (!s.createdPath.empty()) {
        platform::removeFile(gbkToUtf8(s.createdPath));
    }
}

// The verified build takes its final name; a file of that name is the host's
// and stays: the build then takes NAME(1), NAME(2)... (the number after the
// whole base name, so that "Lumivox-1.1" becomes "Lumivox-1.1(1)", not the
// engine's "Lumivox-1(1).1").
bool takeFinalName(platform::HeldProgram& build, const Text& baseName, std::string& finalPath) {
    for (int number = 0; number < 100; ++number) {
        const Text name = updateTarget(
            number == 0 ? baseName : joinTexts(baseName, "(", std::to_string(number), ")"));
        if (build.moveTo(gbkToUtf8(name))) {
            finalPath = gbkToUtf8(name);
            return true;
        }
        // Only a name that is taken sends the build on to the next number; any
        // other failure ends the renaming (no build is left under a number).
        if (!platform::pathMatchesAnything(gbkToUtf8(name))) {
            return false;
        }
    }
    return false;
}

// The task has ended (control thread).
void finishUpdate() {
    UpdateState& s = state();
    if (s.ending || s.abandoned) {
        removeCreatedFile();  // stopped as the program ends, or given up by the host
        return;
    }
    // The download keeps its temporary name until its bytes are verified; the
    // same handle then gives it its final name and starts it.
    s.heldDownload.reset();
    std::unique_ptr<platform::HeldProgram> build =
        s.lengthKnown && !s.segmentFailed ? platform::HeldProgram::open(gbkToUtf8(s.createdPath))
                                          : nullptr;
    const std::optional<Sha256> digest = build ? build->sha256() : std::nullopt;
    std::string finalPath;
    if (!digest || !acceptUpdate(*digest, s.signature, s.baseName, s.version, s.newVersion) ||
        !takeFinalName(*build, s.baseName, finalPath)) {
        build.reset();
        removeCreatedFile();
        failUpdate(kFailedMessage);
        return;
    }
    refreshUpdateWindow();
    if (s.ending) {
        return;
    }
    // The new build takes the action channel and the hotkeys as it starts: this
    // copy lets go of them first (a copy still holding them would answer the
    // host's `--phrase` and keep F1 to F12 from the new build).
    if (s.handOver.letGo) {
        s.handOver.letGo();
    }
    if (s.ending) {
        return;
    }
    if (!build->start(1000)) {
        if (s.handOver.takeBack) {
            s.handOver.takeBack();
        }
        failUpdate("新版本已下载，但无法启动，当前版本继续运行。请手动运行新版本或到官方网站下载！");
        return;
    }
    // The installer's Start-menu entry (Windows) now starts the new build.
    platform::pointStartMenuEntryAt(finalPath);
    tellHost("下载完成，请手动删除旧版本！软件自动运行新版本！");
    stopUpdateTimer();
    // The new build runs: this copy ends (it does not wait for the new one, which
    // would leave two copies running for as long as the host uses it).
    endUpdatingProgram();
}

}  // namespace

Text commandLineOf(std::string_view program) {
    Text line = "\"";
    std::size_t backslashes = 0;
    for (char c : program) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') {
                line.append(backslashes + 1, '\\');  // doubled, and one for the quote
            }
            backslashes = 0;
        }
        line += c;
    }
    line.append(backslashes, '\\');  // doubled before the closing quote
    line += '"';
    return line;
}

Text updateTarget(const Text& baseName) {
    return joinTexts(utf8ToGbk(platform::programFolder()), "/", baseName,
                     platform::executableSuffix());
}

bool acceptUpdate(const Sha256& digest, std::string_view signature, std::string_view baseName,
                  std::string_view version, std::string_view newVersion) {
    // A line made for an earlier release, or one that would move the host back
    // or sideways, is refused whatever its signature.
    return isNewerVersion(newVersion, builtInVersion()) &&
           verifyUpdate(builtInUpdateKey(), signature, digest, baseName, version, newVersion);
}

bool acceptDownloadedBuild(const Text& path, std::string_view signature, std::string_view baseName,
                           std::string_view version, std::string_view newVersion) {
    const auto digest = fileSha256(gbkToUtf8(path));
    return digest && acceptUpdate(*digest, signature, baseName, version, newVersion);
}

Text temporaryTarget(const Text& baseName) {
    return joinTexts(updateTarget(baseName), ".download");
}

void initDownloadTask() {
    UpdateState& s = state();
    s.param = std::make_unique<TaskParam>();
    s.download = std::make_unique<Download>();
    s.totalLength = 0;
}

void releaseDownloadTask() {
    UpdateState& s = state();
    s.ending = true;
    if (s.endedByTask) {
        return;  // the process ends with the task still in its end callback
    }
    s.param.reset();
    if (s.download) {
        s.download->stopTask();
        s.download.reset();
    }
}

void onUpdateWindowCreated(Window& updateWindow) {
    UpdateState& s = state();
    Window* main = updateWindow.forms().openWindow(layout::kMainWindow);
    if (main != nullptr) {
        updateWindow.move(main->left() + 100, main->top() + 480);
    }
    updateWindow.resize(442, 59);
    if (main == nullptr || !s.param || !s.download) {
        failUpdate(kFailedMessage);
        return;
    }
    s.forms = &updateWindow.forms();
    s.baseName = main->text(kNameStore);
    s.version = main->text(kVersionStore);
    const TextArray fields = versionFields(main->text(kFileStore));
    s.signature = fields.size() > 3 ? fields[3] : Text();
    s.newVersion = fields.size() > 4 ? fields[4] : Text();
    // Refused before anything is written: a name that is no plain file name
    // beside the program, an update the maker has not signed, or one that is
    // not later than this build.
    if (!isSafeBaseName(s.baseName) || s.signature.empty() ||
        !isNewerVersion(s.newVersion, builtInVersion())) {
        failUpdate(kFailedMessage);
        return;
    }
    // A download of this build killed midway (the program ended, the machine
    // went down) left its temporary file: the updater's own name for this very
    // build, never a file of the host's. Removed, it is downloaded afresh under
    // the same name; one held by another copy downloading it now is left to it,
    // and the engine then takes the next name.
    platform::removeFileUnlessHeld(gbkToUtf8(temporaryTarget(s.baseName)));
    TaskParam& param = *s.param;
    param.taskKind = 4096;
    param.url = trimSpaces(main->text(kUrlStore));
    param.stopWait = 1000;
    param.connectionCount = 5;
    param.localFile = temporaryTarget(s.baseName);
    param.maxLength = kMaxBuildBytes;
    param.connectTimeout = 5000;
    param.sendTimeout = 5000;
    param.receiveTimeout = 10000;
    param.blockSize = 10240;
    param.eventCallback = onDownloadEvent;
    param.stallLimit = kStallLimitMs;
    s.lastTick = Clock::now();
    if (!s.download->startTask(param)) {
        failUpdate(kFailedMessage);  // a URL the engine cannot fetch
    }
}

void setUpdateHandOver(UpdateHandOver handOver) {
    state().handOver = std::move(handOver);
}

void updateWindowClosed() {
    UpdateState& s = state();
    if (s.download && s.download->busy()) {
        s.abandoned = true;
        s.download->requestStop();
    }
}

void onUpdateTimerTick(Window& updateWindow) {
    UpdateState& s = state();
    if (!s.download) {
        return;
    }
    if (Window* main = updateWindow.forms().openWindow(layout::kMainWindow)) {
        updateWindow.setStatusText(kStatusBar, 0, main->text(kNameStore));
    }
    // The bytes since the previous tick, as a rate per second. A refresh right
    // after a tick (the task's end) would measure a sliver of time: it keeps the
    // figure shown.
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - s.lastTick).count();
    if (seconds >= 0.25) {
        s.lastTick = now;
        const double received = static_cast<double>(s.download->takeReceivedCount());
        const double speed = roundHalfAway(received / 1024.0 / seconds, 2);
        updateWindow.setStatusText(
            kStatusBar, 1, joinTexts(utf8ToGbk("速度:"), valueToText(speed), utf8ToGbk("kb/秒")));
    }
    const std::int64_t downloaded = s.download->downloadedBytes();
    const double total = s.totalLength;
    const double done = static_cast<double>(downloaded);
    updateWindow.setPosition(kProgress, total > 0 ? static_cast<int>(done / total * 100) : 0);
    const double doneKb =
        roundHalfAway(static_cast<double>(s.download->downloadedBytes()) / 1024.0, 2);
    updateWindow.setStatusText(kStatusBar, 2,
                               joinTexts(utf8ToGbk("已下载:"), valueToText(doneKb), "KB"));
    const Text percent = valueToText(static_cast<std::int32_t>(updateWindow.position(kProgress)));
    updateWindow.setStatusText(kStatusBar, 3, joinTexts(utf8ToGbk("百分比:"), percent, "%"));
    updateWindow.setCaption(
        kLabel,
        joinTexts(valueToText(static_cast<std::int32_t>(updateWindow.position(kProgress))), "%"));
}

int onDownloadEvent(int code, Download*, std::int64_t value, std::int64_t, Text& path) {
    UpdateState& s = state();
    switch (code) {
        case DownloadEvent::kLengthKnown:
            s.totalLength = static_cast<double>(value);
            s.createdPath = path;  // the name the engine settled on
            s.heldDownload = platform::HeldFile::hold(gbkToUtf8(path));
            s.lengthKnown = true;
            break;
        case DownloadEvent::kThreadFailed:
            s.segmentFailed = true;
            break;
        case DownloadEvent::kTaskEnded:
            finishUpdate();
            break;
        default:
            break;  // the same-name question included: 0 lets the engine rename
    }
    return 0;
}

}  // namespace lumivox::online
