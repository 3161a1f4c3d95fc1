// What the program tells the desktop portal's GlobalShortcuts service and how it
// reads the answer: trigger spellings, and answers of the expected and of other
// shapes (a portal is another program: its answer is outside input).
#include <gtest/gtest.h>

#include <functional>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/PortalBus.hpp"
#include "platform/linux/PortalShortcuts.hpp"

namespace lumivox::platform {
namespace {

using Triggers = std::map<std::string, std::string>;

TEST(PortalShortcuts, TriggersSpellModifiersThenTheKeysymName) {
    const struct {
        unsigned flags;
        int key;
        const char* trigger;
    } table[] = {
        {0, 0x72, "F3"},
        {kHotkeyControl | kHotkeyShift, 0x78, "CTRL+SHIFT+F9"},
        {kHotkeyAlt, 'A', "ALT+a"},
        {kHotkeyWin | kHotkeyControl | kHotkeyAlt | kHotkeyShift, '7', "CTRL+ALT+SHIFT+LOGO+7"},
        {0, 0xBD, "minus"},
        {0, 0, ""},
        {kHotkeyControl, 0x07, ""},  // no key has this code
    };
    for (const auto& row : table) {
        EXPECT_EQ(portalTrigger(row.flags, row.key), row.trigger) << row.key;
    }
}

// A Response signal (u 0, a{sv}) whose results the writer fills.
DBusMessage* response(const std::function<void(PortalOptions&)>& results) {
    DBusMessage* message = dbus_message_new_signal("/org/freedesktop/portal/desktop/request/1_2/t",
                                                   "org.freedesktop.portal.Request", "Response");
    DBusMessageIter args;
    dbus_message_iter_init_append(message, &args);
    const std::uint32_t ok = 0;
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &ok);
    {
        PortalOptions options(&args);
        results(options);
    }
    return message;
}

std::optional<Triggers> read(const std::function<void(PortalOptions&)>& results) {
    DBusMessage* message = response(results);
    auto triggers = portalShortcutTriggers(message);
    dbus_message_unref(message);
    return triggers;
}

// One shortcut (s a{sv}) with the given details.
void shortcut(DBusMessageIter* list, const char* name,
              const std::function<void(PortalOptions&)>& details) {
    DBusMessageIter entry;
    dbus_message_iter_open_container(list, DBUS_TYPE_STRUCT, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &name);
    {
        PortalOptions options(&entry);
        details(options);
    }
    dbus_message_iter_close_container(list, &entry);
}

TEST(PortalShortcuts, AnswerGivesEachShortcutItsDescribedTrigger) {
    const auto answer = read([](PortalOptions& results) {
        results.add("session_handle", "/org/freedesktop/portal/desktop/session/1_2/lumivox");
        results.add("shortcuts", "a(sa{sv})", [](DBusMessageIter* variant) {
            DBusMessageIter list;
            dbus_message_iter_open_container(variant, DBUS_TYPE_ARRAY, "(sa{sv})", &list);
            shortcut(&list, "F3", [](PortalOptions& d) {
                d.add("description", "Lumivox F3").add("trigger_description", "F3");
            });
            // Refused: the desktop describes no trigger, or an empty one.
            shortcut(&list, "F10", [](PortalOptions& d) { d.add("description", "Lumivox F10"); });
            shortcut(&list, "F11", [](PortalOptions& d) { d.add("trigger_description", ""); });
            // A trigger of the wrong type counts as none.
            shortcut(&list, "F12", [](PortalOptions& d) { d.add("trigger_description", 7u); });
            dbus_message_iter_close_container(variant, &list);
        });
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, (Triggers{{"F3", "F3"}, {"F10", ""}, {"F11", ""}, {"F12", ""}}));
}

TEST(PortalShortcuts, OurOwnRequestReadsBackWithNoTriggers) {
    const auto answer = read([](PortalOptions& results) {
        results.add("shortcuts", "a(sa{sv})", [](DBusMessageIter* variant) {
            appendPortalShortcuts(variant, {"F1", "CTRL+F9"});
        });
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, (Triggers{{"F1", ""}, {"CTRL+F9", ""}}));
}

TEST(PortalShortcuts, AnswerWithoutAListOfShortcutsGivesNothing) {
    const std::function<void(PortalOptions&)> shapes[] = {
        [](PortalOptions&) {},
        [](PortalOptions& r) { r.add("shortcuts", "F3"); },
        [](PortalOptions& r) {
            r.add("shortcuts", "as", [](DBusMessageIter* variant) {
                DBusMessageIter list;
                dbus_message_iter_open_container(variant, DBUS_TYPE_ARRAY, "s", &list);
                const char* name = "F3";
                dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &name);
                dbus_message_iter_close_container(variant, &list);
            });
        },
    };
    for (const auto& shape : shapes) {
        EXPECT_FALSE(read(shape).has_value());
    }
    // No results at all.
    DBusMessage* bare = dbus_message_new_signal("/r", "org.freedesktop.portal.Request", "Response");
    EXPECT_FALSE(portalShortcutTriggers(bare).has_value());
    dbus_message_unref(bare);
}

}  // namespace
}  // namespace lumivox::platform
