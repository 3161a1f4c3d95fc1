// The desktop portal's answer about global shortcuts, in every shape the bytes
// pick: the results hold "shortcuts" (and other entries) of any of several types,
// each shortcut's details any keys with values of any of several types. The
// reader must give each listed name once, a trigger only from a string, and
// nothing at all when there is no list of shortcuts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/PortalBus.hpp"
#include "platform/linux/PortalShortcuts.hpp"

using namespace lumivox::platform;

namespace {

class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    unsigned next() { return at_ < size_ ? data_[at_++] : 0; }
    std::string text() {
        std::string out;
        for (unsigned n = next() % 6; n > 0 && at_ < size_; --n) {
            out += static_cast<char>('A' + next() % 26);
        }
        return out;
    }

  private:
    const uint8_t* data_;
    size_t size_, at_ = 0;
};

const char* const kKeys[] = {"shortcuts", "trigger_description", "description", "session_handle"};

// A variant's value: a string, a uint32, a list of strings or an object path.
void writeSimple(PortalOptions& options, const char* key, Bytes& bytes) {
    const std::string text = bytes.text();
    switch (bytes.next() % 4) {
        case 0: options.add(key, text.c_str()); break;
        case 1: options.add(key, static_cast<std::uint32_t>(bytes.next())); break;
        case 2:
            options.add(key, "as", [&](DBusMessageIter* variant) {
                DBusMessageIter list;
                const char* item = text.c_str();
                dbus_message_iter_open_container(variant, DBUS_TYPE_ARRAY, "s", &list);
                dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &item);
                dbus_message_iter_close_container(variant, &list);
            });
            break;
        default:
            options.add(key, "o", [](DBusMessageIter* variant) {
                const char* path = "/a";
                dbus_message_iter_append_basic(variant, DBUS_TYPE_OBJECT_PATH, &path);
            });
    }
}

void writeShortcuts(DBusMessageIter* variant, Bytes& bytes, int& listed) {
    DBusMessageIter list;
    dbus_message_iter_open_container(variant, DBUS_TYPE_ARRAY, "(sa{sv})", &list);
    for (unsigned n = bytes.next() % 5; n > 0; --n) {
        DBusMessageIter entry;
        dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, nullptr, &entry);
        const std::string name = bytes.text();
        const char* raw = name.c_str();
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &raw);
        {
            PortalOptions details(&entry);
            for (unsigned k = bytes.next() % 4; k > 0; --k) {
                writeSimple(details, kKeys[bytes.next() % 4], bytes);
            }
        }
        dbus_message_iter_close_container(&list, &entry);
        ++listed;
    }
    dbus_message_iter_close_container(variant, &list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes bytes(data, size);
    DBusMessage* message = dbus_message_new_signal("/r", "org.freedesktop.portal.Request", "Response");
    DBusMessageIter args;
    dbus_message_iter_init_append(message, &args);
    const std::uint32_t code = 0;
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &code);
    int lists = 0, listed = 0;
    {
        PortalOptions results(&args);
        for (unsigned n = bytes.next() % 4; n > 0; --n) {
            const char* key = kKeys[bytes.next() % 4];
            if (bytes.next() % 2 == 0) {
                results.add(key, "a(sa{sv})", [&](DBusMessageIter* variant) {
                    int count = 0;
                    writeShortcuts(variant, bytes, count);
                    if (std::string(key) == "shortcuts" && lists++ == 0) {
                        listed = count;  // the reader takes the first "shortcuts"
                    }
                });
            } else {
                writeSimple(results, key, bytes);
            }
        }
    }
    const auto triggers = portalShortcutTriggers(message);
    // Found in the first "shortcuts" entry only when that entry is a list.
    if (triggers.has_value() && triggers->size() > static_cast<size_t>(listed)) {
        std::abort();
    }
    if (lists == 0 && triggers.has_value()) {
        // Only a list of shortcuts gives an answer... unless a "shortcuts" entry
        // of another type came first, which gives none either.
        std::abort();
    }
    dbus_message_unref(message);
    return 0;
}
