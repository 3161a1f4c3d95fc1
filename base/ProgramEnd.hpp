#pragma once
// Routines that must run once as the program ends, on whichever path it ends:
// the main window closed, or `endProgram` from any thread. Services register
// their own (the sound service stops every sound and waits for its voices; the
// update registers the release of its download task at start-up).
#include <functional>

namespace lumivox {

// Routines run in reverse order of registration, each at most once.
void addProgramEndRoutine(std::function<void()> routine);

// Runs (and forgets) every registered routine. Safe to call more than once.
void runProgramEndRoutines();

}  // namespace lumivox
