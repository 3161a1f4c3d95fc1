#pragma once
// The text, file, clipboard, process and message-box operations every handler
// uses. Texts are GBK bytes: lengths and positions count bytes, positions are
// 1-based and -1 means not found, and searches step over a two-byte character
// (lead byte 0x80 or above) as a whole. None of these operations reports
// anything to the user: failures show only in the result.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "util/Types.hpp"

namespace lumivox {

class Window;

using TextArray = std::vector<Text>;
using ByteView = std::span<const std::uint8_t>;

// "￥￥￥￥￥￥%%%%%%%" in GBK: 19 bytes that follow every field of both settings files.
inline constexpr std::string_view kSettingsSeparator =
    "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";

// ---- texts ----
int textByteCount(std::string_view text);
// The last n bytes (bytes, not characters); n <= 0 gives the empty text.
Text rightPart(std::string_view text, int n);
// 1-based start of the last occurrence of `search` at a character start, or -1.
int findLastText(std::string_view text, std::string_view search);
// Fields between separators: a leading separator gives an empty first field,
// adjacent separators an empty field between them, a trailing one nothing more.
TextArray splitText(std::string_view text, std::string_view separator);
// Cuts leading and trailing ASCII and ideographic (A1 A1) spaces.
Text trimSpaces(std::string_view text);
Text valueToText(ByteView bytes);  // up to the first 0 byte
Text valueToText(std::int32_t value);  // "%d"
Text valueToText(double value);        // "%.13g"
ByteData textToBytes(std::string_view text);
bool textsEqual(std::string_view a, std::string_view b);

Text joinTexts(std::initializer_list<std::string_view> parts);
template <typename... Parts>
Text joinTexts(const Parts&... parts) {
    return joinTexts({std::string_view(parts)...});
}

// Rounds halves away from zero at `digits` decimal places (negative: tens,
// hundreds...), with a 1e-12 nudge so that 1.005 rounds to 1.01.
double roundHalfAway(double x, int digits = 0);

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

// ---- clipboard, message boxes, edit boxes ----
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

// Appends the texts, in order, at the end of the named edit box of the window.
void appendToEditBox(Window& window, std::string_view editBox, std::initializer_list<std::string_view> texts);
template <typename... Texts>
void appendToEditBox(Window& window, std::string_view editBox, const Texts&... texts) {
    appendToEditBox(window, editBox, {std::string_view(texts)...});
}

}  // namespace lumivox
