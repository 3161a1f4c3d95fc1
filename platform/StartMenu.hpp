#pragma once
// The Start-menu entry that the Windows installer makes ("Lumivox.lnk" in the
// user's Programs folder). After an update it starts the newest build. Paths are
// UTF-8.
#include <string>

namespace lumivox::platform {

// Points the entry at `program` when it now points at a program in the same
// folder (one of our builds); true when it was changed. False when there is no
// such entry (on Linux there never is: a package manager owns the menu there).
bool pointStartMenuEntryAt(const std::string& program);

}  // namespace lumivox::platform
