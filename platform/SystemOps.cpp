// The file, process, clipboard and message-box operations: GBK texts in the
// program, UTF-8 at the platform boundary.
#include "platform/SystemOps.hpp"

#include <algorithm>

#include "base/Encoding.hpp"
#include "base/ProgramEnd.hpp"
#include "platform/Clipboard.hpp"
#include "platform/Files.hpp"
#include "platform/GuiThread.hpp"
#include "platform/MessageBox.hpp"
#include "platform/Process.hpp"

namespace lumivox {
namespace {

std::string toOs(std::string_view text) {
    size_t nul = text.find('\0');
    return gbkToUtf8(nul == std::string_view::npos ? text : text.substr(0, nul));
}

}  // namespace

bool pathExists(std::string_view path) {
    return textByteCount(path) > 0 && platform::pathMatchesAnything(toOs(path));
}

bool makeDirectory(std::string_view path) {
    return textByteCount(path) > 0 && platform::createDirectory(toOs(path));
}

ByteData readWholeFile(std::string_view path) {
    if (textByteCount(path) == 0) {
        return {};
    }
    return platform::readFile(toOs(path));
}

bool writeWholeFile(std::string_view path, std::initializer_list<ByteView> blocks) {
    if (textByteCount(path) == 0) {
        return false;
    }
    return platform::replaceFile(toOs(path), blocks);
}

Text workingDirectory() {
    return utf8ToGbk(platform::currentDirectory());
}

bool launchProgram(std::string_view commandLine, bool wait, std::optional<int> showMode) {
    // Show modes 1..6 and the window show values they stand for.
    static constexpr int kShowValues[] = {0, 1, 2, 3, 4, 6};
    const int mode = std::clamp(showMode.value_or(2), 1, 6);
    return platform::startProcess(toOs(commandLine), kShowValues[mode - 1], wait, 1000);
}

void endProgram(int exitCode) {
    if (!platform::isGuiThread()) {
        // Ask the GUI thread to end the program; if the call comes back (there
        // is no GUI), end here at once.
        platform::runOnGuiThread([exitCode] { endProgram(exitCode); });
        platform::exitProcess(exitCode);
    }
    // The GUI thread serves no other thread from here on: an end routine that
    // joins a worker must not wait on a worker that waits on this thread.
    platform::endGuiThreadCalls();
    runProgramEndRoutines();
    platform::exitProcess(exitCode);
}

bool setClipboardText(std::string_view text) {
    bool ok = false;
    const std::string utf8 = toOs(text);
    platform::runOnGuiThread([&] { ok = platform::setClipboardText(utf8); });
    return ok;
}

int showMessageBox(std::string_view message, int flags, std::optional<Text> caption) {
    const std::string utf8Caption = caption ? toOs(*caption) : std::string("信息：");
    unsigned style = static_cast<unsigned>(flags);
    if ((style & kMessageBoxSystemModal) == 0) {
        style |= kMessageBoxTaskModal;
    }
    int result = 0;
    const std::string utf8Message = toOs(message);
    if (!platform::runOnGuiThread(
            [&] { result = platform::showMessageBox(utf8Message, style, utf8Caption); })) {
        return 0;
    }
    // IDOK..IDNO (1..7) become 0..6; anything else counts as OK.
    return result >= 1 && result <= 7 ? result - 1 : 0;
}

}  // namespace lumivox
