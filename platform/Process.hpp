#pragma once
// Starting other programs and ending this one.
#include <string>

namespace lumivox::platform {

// Starts a command line; `showValue` is the window show value (0 hidden,
// 1 normal...), a hint the platform may not be able to honour. With `wait`, waits
// until the program ends; otherwise waits at most `settleMs` for it, so that a
// program that fails at once is seen ending. False when it cannot be started.
bool startProcess(const std::string& commandLine, int showValue, bool wait, int settleMs);

// Ends the process at once with the exit code; buffered output is flushed.
[[noreturn]] void exitProcess(int exitCode);

}  // namespace lumivox::platform
