#pragma once
// What the desktop portal's GlobalShortcuts service is told and answers: the
// shortcuts a program asks for (each named after its key combination, in the
// portal's trigger spelling) and the triggers the desktop gave them.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <dbus/dbus.h>

namespace lumivox::platform {

// The portal's spelling of a hotkey ("F3", "CTRL+SHIFT+F9", "ALT+a"): modifiers,
// then the key's XKB keysym name. "" for a key that has none.
std::string portalTrigger(unsigned modifierFlags, int virtualKey);

// Writes the a(sa{sv}) of shortcuts: each trigger as the shortcut's name and
// preferred trigger, with a description the desktop's settings show.
void appendPortalShortcuts(DBusMessageIter* args, const std::vector<std::string>& triggers);

// The shortcuts in a Response's results: each name with the trigger the desktop
// describes for it ("" when it has none: the desktop or the host refused it).
// Nothing when the results hold no list of shortcuts; entries of another shape
// are passed over.
std::optional<std::map<std::string, std::string>> portalShortcutTriggers(DBusMessage* response);

}  // namespace lumivox::platform
