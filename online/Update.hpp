#pragma once
// The update window: downloads the build the version file names with the
// download engine, verifies its signature, starts it, waits for it and ends.
// A failed update closes the window and the program runs on.
// The task record, the download object and the total length live from
// initDownloadTask to releaseDownloadTask; the engine's callback runs on the
// task's control thread, the window's handlers on the GUI thread.
#include <cstdint>
#include <functional>

#include "forms/Window.hpp"
#include "online/Download.hpp"
#include "online/UpdateSignature.hpp"

namespace lumivox::online {

void initDownloadTask();
// At program end, on whichever path: stops a running task (bounded) and frees it all.
void releaseDownloadTask();

// What the running program lets go of before an update's new build starts (its
// action channel and hotkeys, which the new build takes), and takes back when
// that build cannot be started. Both are called on the task's control thread
// (never on the GUI thread: the action channel's worker may be waiting for it);
// each hands its GUI part to the GUI thread itself. Set at start-up.
struct UpdateHandOver {
    std::function<void()> letGo;
    std::function<void()> takeBack;
};
void setUpdateHandOver(UpdateHandOver handOver);

void onUpdateWindowCreated(Window& updateWindow);
// The update window's dialog has ended (GUI thread). Closed by the host while
// its download still runs, the update is abandoned: the download stops, and
// what it brought is removed rather than started unasked.
void updateWindowClosed();
void onUpdateTimerTick(Window& updateWindow);
int onDownloadEvent(int code, Download* sender, std::int64_t value, std::int64_t extra, Text& path);

// The largest build the update downloads: a longer one is refused before
// anything is reserved on disk.
inline constexpr std::int64_t kMaxBuildBytes = 512LL * 1024 * 1024;

// Where the build named `baseName` lands: beside the running program, with the
// platform's suffix for programs (".exe" on Windows). GBK.
Text updateTarget(const Text& baseName);
// Where it is downloaded to first: the target + ".download", renamed to the
// target only once its bytes are verified.
Text temporaryTarget(const Text& baseName);
// True when a build of that digest is the one the maker signed for that base
// name, replaced version and new version, checked with the key built into the
// program, and the new version is later than this build's own.
bool acceptUpdate(const Sha256& digest, std::string_view signature, std::string_view baseName,
                  std::string_view version, std::string_view newVersion);
// The same for a file (GBK path).
bool acceptDownloadedBuild(const Text& path, std::string_view signature, std::string_view baseName,
                           std::string_view version, std::string_view newVersion);

// A command line that starts exactly that program (quoted by the rules the
// program-start operation splits with).
Text commandLineOf(std::string_view program);

}  // namespace lumivox::online
