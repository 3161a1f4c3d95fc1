#include "platform/linux/PortalShortcuts.hpp"

#include <X11/Xlib.h>

#include <string_view>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/PortalBus.hpp"
#include "platform/linux/VirtualKeys.hpp"

namespace lumivox::platform {

std::string portalTrigger(unsigned modifierFlags, int virtualKey) {
    const std::uint32_t keysym = keysymForVirtualKey(virtualKey);
    const char* key = keysym != 0 ? XKeysymToString(keysym) : nullptr;
    if (key == nullptr) {
        return "";
    }
    std::string trigger;
    if (modifierFlags & kHotkeyControl) {
        trigger += "CTRL+";
    }
    if (modifierFlags & kHotkeyAlt) {
        trigger += "ALT+";
    }
    if (modifierFlags & kHotkeyShift) {
        trigger += "SHIFT+";
    }
    if (modifierFlags & kHotkeyWin) {
        trigger += "LOGO+";
    }
    return trigger + key;
}

void appendPortalShortcuts(DBusMessageIter* args, const std::vector<std::string>& triggers) {
    DBusMessageIter list;
    dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "(sa{sv})", &list);
    for (const std::string& trigger : triggers) {
        DBusMessageIter shortcut;
        dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, nullptr, &shortcut);
        const char* name = trigger.c_str();
        dbus_message_iter_append_basic(&shortcut, DBUS_TYPE_STRING, &name);
        const std::string description = "Lumivox " + trigger;
        PortalOptions(&shortcut)
            .add("description", description.c_str())
            .add("preferred_trigger", trigger.c_str());
        dbus_message_iter_close_container(&list, &shortcut);
    }
    dbus_message_iter_close_container(args, &list);
}

std::optional<std::map<std::string, std::string>> portalShortcutTriggers(DBusMessage* response) {
    DBusMessageIter list;
    if (!findPortalResult(response, "shortcuts", &list) ||
        dbus_message_iter_get_arg_type(&list) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(&list) != DBUS_TYPE_STRUCT) {
        return std::nullopt;
    }
    std::map<std::string, std::string> triggers;
    DBusMessageIter shortcut;
    for (dbus_message_iter_recurse(&list, &shortcut);
         dbus_message_iter_get_arg_type(&shortcut) == DBUS_TYPE_STRUCT;
         dbus_message_iter_next(&shortcut)) {
        DBusMessageIter fields, details;
        dbus_message_iter_recurse(&shortcut, &fields);
        if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING) {
            continue;
        }
        const char* name = nullptr;
        dbus_message_iter_get_basic(&fields, &name);
        std::string& trigger = triggers[name];
        if (!dbus_message_iter_next(&fields) ||
            dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_ARRAY ||
            dbus_message_iter_get_element_type(&fields) != DBUS_TYPE_DICT_ENTRY) {
            continue;
        }
        for (dbus_message_iter_recurse(&fields, &details);
             dbus_message_iter_get_arg_type(&details) == DBUS_TYPE_DICT_ENTRY;
             dbus_message_iter_next(&details)) {
            DBusMessageIter pair, value;
            dbus_message_iter_recurse(&details, &pair);
            const char* key = nullptr;
            if (dbus_message_iter_get_arg_type(&pair) != DBUS_TYPE_STRING) {
                break;
            }
            dbus_message_iter_get_basic(&pair, &key);
            if (std::string_view(key) != "trigger_description" || !dbus_message_iter_next(&pair) ||
                dbus_message_iter_get_arg_type(&pair) != DBUS_TYPE_VARIANT) {
                continue;
            }
            dbus_message_iter_recurse(&pair, &value);
            if (dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_STRING) {
                const char* described = nullptr;
                dbus_message_iter_get_basic(&value, &described);
                trigger = described;
            }
        }
    }
    return triggers;
}

}  // namespace lumivox::platform
