#pragma once
// The update window: downloads the build the version file names with the
// download engine, verifies its signature, starts it, waits for it and ends.
// The task record, the download object and the total length live from
// initDownloadTask to releaseDownloadTask; the engine's callback runs on the
// task's control thread, the window's handlers on the GUI thread.
#include <cstdint>

#include "forms/Window.hpp"
#include "online/Download.hpp"

namespace lumivox::online {

void initDownloadTask();
// At program end, on whichever path: stops a running task (bounded) and frees it all.
void releaseDownloadTask();

void onUpdateWindowCreated(Window& updateWindow);
void onUpdateTimerTick(Window& updateWindow);
int onDownloadEvent(int code, Download* sender, std::int64_t value, std::int64_t extra, Text& path);

// Where the build named `baseName` is downloaded: beside the running program,
// with the platform's suffix for programs (".exe" on Windows). GBK.
Text updateTarget(const Text& baseName);
// True when the downloaded file (GBK path) is the build the maker signed for
// that base name and replaced version, checked with the key built into the program.
bool acceptDownloadedBuild(const Text& path, std::string_view signature, std::string_view baseName,
                           std::string_view version);
// Lets the accepted build run, starts it and waits for it to end; false when it
// could not be started.
bool startDownloadedBuild(const Text& path);

// A command line that starts exactly that program (quoted by the rules the
// program-start operation splits with).
Text commandLineOf(std::string_view program);

}  // namespace lumivox::online
