#pragma once
// The version check a second after start: the main window's 时钟1 counts 100
// ticks on the hidden 进度条1, then (in a self-updating build) the version file is
// read from the maker's server on a thread of its own, and back on the GUI thread
// the program runs on, opens the update window, or ends.
#include "base/Types.hpp"
#include "forms/Window.hpp"
#include "platform/Web.hpp"

namespace lumivox::online {

// Bounds of the version file's read: the GUI goes on meanwhile, but a server that
// accepts and never answers must not leave the check pending for minutes.
inline constexpr platform::HttpReadLimits kVersionFileLimits{
    .connectTimeoutMs = 10000,
    .silenceTimeoutMs = 10000,
    .totalTimeoutMs = 30000,
    .maxBodyBytes = 64 * 1024,
};

void onStartupTimerTick(Window& mainWindow);
// Starts the read and returns at once; the result is applied on the GUI thread.
void runVersionCheck(Window& mainWindow);
// What the check does with the file once read (GUI thread).
void applyVersionFile(Window& mainWindow, const ByteData& file);

}  // namespace lumivox::online
