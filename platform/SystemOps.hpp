#pragma once
// The file, process, clipboard and message-box operations of the program, on GBK
// texts, over the operating system's services. None of them reports anything to
// the user: failures show only in the result (a message box is what it shows).
#include <initializer_list>
#include <optional>
#include <string_view>

#include "base/TextOps.hpp"
#include "base/Types.hpp"

namespace lumivox {

// ---- files and folders (paths are GBK texts) ----
// True when anything exists at the path; `*` and `?` in the last component match.
bool pathExists(std::string_view path);
// Makes one folder level; false when it exists already or cannot be made.
bool makeDirectory(std::string_view path);
// The whole file; empty data when the path is empty, the file is missing,
// empty or unreadable.
ByteData readWholeFile(std::string_view path);
// Replaces the file's contents with the blocks in order. The new contents go to a
// temporary file in the same folder that is renamed over the target, so a failed
// write (full disk, crash) leaves the previous file as it was and gives false.
bool writeWholeFile(std::string_view path, std::initializer_list<ByteView> blocks);
template <typename... Blocks>
bool writeWholeFile(std::string_view path, const Blocks&... blocks) {
    return writeWholeFile(path, {ByteView(blocks)...});
}
// The process's current folder, without a trailing separator except at the root.
Text workingDirectory();

// ---- processes ----
// Starts a command line (split by the Windows rules for quotes and backslashes).
// wait: until it ends; otherwise at most 1000 ms. showMode 1..6 as the window
// show modes (absent means 2). False when it cannot be started.
bool launchProgram(std::string_view commandLine, bool wait, std::optional<int> showMode = {});
// Ends the program: on the GUI thread runs the program-end routines and exits;
// from another thread asks the GUI thread to do so and waits.
[[noreturn]] void endProgram(int exitCode);

// ---- clipboard and message boxes ----
// Puts the text (up to its first NUL) on the clipboard; false when the clipboard
// cannot be opened.
bool setClipboardText(std::string_view text);

// Message-box flags the program uses (Windows values).
inline constexpr int kMessageBoxOk = 0x0;
inline constexpr int kMessageBoxOkCancel = 0x1;
inline constexpr int kMessageBoxAbortRetryIgnore = 0x2;
inline constexpr int kMessageBoxYesNoCancel = 0x3;
inline constexpr int kMessageBoxYesNo = 0x4;
inline constexpr int kMessageBoxRetryCancel = 0x5;
inline constexpr int kMessageBoxIconError = 0x10;
inline constexpr int kMessageBoxIconQuestion = 0x20;
inline constexpr int kMessageBoxIconWarning = 0x30;
inline constexpr int kMessageBoxIconInformation = 0x40;
inline constexpr int kMessageBoxSystemModal = 0x1000;
inline constexpr int kMessageBoxTaskModal = 0x2000;

// Shows a modal box (caption "信息：" when absent) from any thread and gives the
// button pressed, renumbered: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5,
// No 6; 0 when the box cannot be shown.
int showMessageBox(std::string_view message, int flags, std::optional<Text> caption = {});

}  // namespace lumivox
