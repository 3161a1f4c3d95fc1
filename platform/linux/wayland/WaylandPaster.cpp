#include "platform/linux/wayland/WaylandPaster.hpp"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/wayland/PortalKeyboard.hpp"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace lumivox::platform::wayland {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the compositor may take to confirm the clipboard, the focused window
// to fetch it after Ctrl+V, and a clipboard owner to hand over its text.
constexpr auto kSetTimeout = 1000ms;
constexpr auto kFetchTimeout = 1000ms;
constexpr auto kReadTimeout = 300ms;
// A reader gets the whole text within this time, or what it has taken so far:
// a reader that never drains a long text does not hold the phrases (or the
// program's end) for good.
constexpr auto kSendTimeout = 2000ms;
// The host's earlier clipboard, every type of it, is read within this time and
// this size, or it is not given back at all (rather than given back in part).
constexpr auto kKeepTimeout = 1000ms;
constexpr std::size_t kMaxKeptBytes = 64u << 20;
// After the text went out: the target reads it from the pipe and inserts it
// (GTK goes on with the keys that follow while it waits). A target slow to ask
// for the text (a loaded machine) gets as long again as it took to ask.
constexpr auto kSettle = 100ms;
// From the closing Enter to the host's earlier clipboard back.
constexpr auto kRestoreDelay = 500ms;

// The text types the clipboard is offered under and looked for, best first.
constexpr const char* kTextTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING",
                                      "TEXT", "STRING"};

std::uint32_t milliseconds() {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

// A clipboard's contents: each type it was offered under, with its bytes.
using Contents = std::vector<std::pair<std::string, std::string>>;

Contents textContents(const std::string& text) {
    Contents contents;
    for (const char* type : kTextTypes) {
        contents.emplace_back(type, text);
    }
    return contents;
}

// A write to a reader's pipe raised SIGPIPE when the reader had gone: the
// worker blocks the signal, and a pending one is taken off again here.
void dropPendingPipeSignal() {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    const timespec none{};
    while (sigtimedwait(&pipeSignal, nullptr, &none) > 0) {
    }
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return;
        }
        done += static_cast<std::size_t>(wrote);
    }
}

}  // namespace

struct WaylandPaster::Connection {
    // One clipboard content of ours; it serves the text until the compositor
    // cancels it (another selection took over).
    struct Source {
        Connection* owner = nullptr;
        zwlr_data_control_source_v1* source = nullptr;
        Contents contents;
        unsigned id = 0;
        int sends = 0;
        bool cancelled = false;

        const std::string& bytesFor(const char* type) const {
            for (const auto& [offered, bytes] : contents) {
                if (offered == type) {
                    return bytes;
                }
            }
            return contents.front().second;
        }
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* dataControl = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    std::uint32_t controlMask = 0;
    bool broken = false;
    // The keys of the phrases: this connection's virtual keyboard, or another
    // route where the compositor offers none.
    std::unique_ptr<PhraseKeys> keys;
    std::function<void(const std::string&)> unable;
    // Says that the program is ending: nothing then waits on a reader.
    std::function<bool()> ending = [] { return false; };

    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> offers;
    zwlr_data_control_offer_v1* selection = nullptr;
    zwlr_data_control_offer_v1* primary = nullptr;
    unsigned selectionEvents = 0;
    std::vector<std::unique_ptr<Source>> sources;
    unsigned sourceIds = 0;
    Source* ownSelection = nullptr;  // ours holds the clipboard now
    // The host's earlier clipboard, put back once the target is surely done with
    // the phrase, and only while the phrase still holds the clipboard (or taken
    // as the earlier clipboard of the next phrase, on the same condition).
    std::optional<Contents> pendingRestore;
    bool pendingClear = false;
    unsigned pendingPhrase = 0;  // the id of the phrase's source
    Clock::time_point restoreAt = Clock::time_point::max();

    ~Connection() {
        for (auto& [offer, types] : offers) {
            zwlr_data_control_offer_v1_destroy(offer);
        }
        for (auto& source : sources) {
            if (!source->cancelled) {
                zwlr_data_control_source_v1_destroy(source->source);
            }
        }
        if (keyboard != nullptr) {
            zwp_virtual_keyboard_v1_destroy(keyboard);
        }
        if (device != nullptr) {
            zwlr_data_control_device_v1_destroy(device);
        }
        if (keyboardManager != nullptr) {
            zwp_virtual_keyboard_manager_v1_destroy(keyboardManager);
        }
        if (dataControl != nullptr) {
            zwlr_data_control_manager_v1_destroy(dataControl);
        }
        if (seat != nullptr) {
            wl_seat_destroy(seat);
        }
        if (registry != nullptr) {
            wl_registry_destroy(registry);
        }
        if (display != nullptr) {
            wl_display_disconnect(display);
        }
    }

    // ---- the compositor's events
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
        auto* self = static_cast<Connection*>(data);
        const std::string_view kind = interface;
        if (kind == wl_seat_interface.name && self->seat == nullptr) {
            self->seat = static_cast<wl_seat*>(
                wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 2u)));
        } else if (kind == zwlr_data_control_manager_v1_interface.name) {
            self->dataControl = static_cast<zwlr_data_control_manager_v1*>(wl_registry_bind(
                registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 2u)));
        } else if (kind == zwp_virtual_keyboard_manager_v1_interface.name) {
            self->keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        }
    }
    static void globalRemoved(void*, wl_registry*, std::uint32_t) {}

    static void offerType(void* data, zwlr_data_control_offer_v1* offer, const char* type) {
        static_cast<Connection*>(data)->offers[offer].emplace_back(type);
    }
    static void dataOffer(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer) {
        auto* self = static_cast<Connection*>(data);
        self->offers[offer];
        static const zwlr_data_control_offer_v1_listener listener{offerType};
        zwlr_data_control_offer_v1_add_listener(offer, &listener, self);
    }
    void dropOffer(zwlr_data_control_offer_v1* offer) {
        if (offer != nullptr && offers.erase(offer) > 0) {
            zwlr_data_control_offer_v1_destroy(offer);
        }
    }
    static void selectionChanged(void* data, zwlr_data_control_device_v1*,
                                 zwlr_data_control_offer_v1* offer) {
        auto* self = static_cast<Connection*>(data);
        if (self->selection != offer && self->selection != self->primary) {
            self->dropOffer(self->selection);
        }
        self->selection = offer;
        ++self->selectionEvents;
    }
    static void deviceFinished(void* data, zwlr_data_control_device_v1*) {
        static_cast<Connection*>(data)->broken = true;
    }
    static void primarySelection(void* data, zwlr_data_control_device_v1*,
                                 zwlr_data_control_offer_v1* offer) {
        // Kept until the next primary selection, and never destroyed while it is
        // also the clipboard's: one offer may stand for both, announced in
        // either order.
        auto* self = static_cast<Connection*>(data);
        if (self->primary != offer && self->primary != self->selection) {
            self->dropOffer(self->primary);
        }
        self->primary = offer;
    }

    static void sourceSend(void* data, zwlr_data_control_source_v1*, const char* type, int fd) {
        auto* source = static_cast<Source*>(data);
        source->owner->sendToReader(fd, source->bytesFor(type));
        ++source->sends;
    }
    // Writes the bytes into a reader's pipe, which the reader may close at any
    // time (the write then fails with EPIPE; the signal is blocked on this
    // thread) or never drain (the write gives up at a deadline, or at once when
    // the program ends). Closes the pipe.
    void sendToReader(int fd, const std::string& bytes) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        const auto deadline = Clock::now() + kSendTimeout;
        std::size_t done = 0;
        bool gone = false;
        while (done < bytes.size() && !ending()) {
            const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
            if (wrote > 0) {
                done += static_cast<std::size_t>(wrote);
                continue;
            }
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            const auto now = Clock::now();
            if (wrote < 0 && errno == EAGAIN && now < deadline) {
                pollfd room{fd, POLLOUT, 0};
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
                poll(&room, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
                continue;
            }
            gone = wrote < 0 && errno == EPIPE;
            break;
        }
        if (gone) {
            dropPendingPipeSignal();
        } else if (done == bytes.size()) {
            // Fetched once the reader has taken every byte out of the pipe
            // (bounded); then the end of the text.
            const auto limit = Clock::now() + kFetchTimeout;
            int left = 0;
            while (ioctl(fd, FIONREAD, &left) == 0 && left > 0 && Clock::now() < limit &&
                   !ending()) {
                std::this_thread::sleep_for(1ms);
            }
        }
        close(fd);
    }
    static void sourceCancelled(void* data, zwlr_data_control_source_v1* object) {
        auto* source = static_cast<Source*>(data);
        source->cancelled = true;
        zwlr_data_control_source_v1_destroy(object);
        if (source->owner->ownSelection == source) {
            source->owner->ownSelection = nullptr;
        }
    }

    // ---- set-up, on the thread that makes the paster
    WaylandAbilities connect() {
        WaylandAbilities abilities;
        display = wl_display_connect(nullptr);
        if (display == nullptr) {
            return abilities;
        }
        abilities.connected = true;
        registry = wl_display_get_registry(display);
        static const wl_registry_listener registryListener{global, globalRemoved};
        wl_registry_add_listener(registry, &registryListener, this);
        wl_display_roundtrip(display);
        if (seat == nullptr) {
            return abilities;
        }
        if (dataControl != nullptr) {
            device = zwlr_data_control_manager_v1_get_data_device(dataControl, seat);
            static const zwlr_data_control_device_v1_listener deviceListener{
                dataOffer, selectionChanged, deviceFinished, primarySelection};
            zwlr_data_control_device_v1_add_listener(device, &deviceListener, this);
            abilities.dataControl = true;
        }
        if (keyboardManager != nullptr) {
            abilities.virtualKeyboard = makeKeyboard();
        }
        // The keymap is in place and the clipboard known before the first phrase.
        abilities.connected = wl_display_roundtrip(display) >= 0;
        return abilities;
    }

    // One keyboard for the program's life, with a whole US keymap: a keyboard
    // made for each press loses its first key, and a keymap of only the few keys
    // used breaks the Ctrl shortcuts of GTK.
    bool makeKeyboard() {
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (context == nullptr) {
            return false;
        }
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        xkb_keymap* keymap =
            xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        bool made = false;
        if (keymap != nullptr) {
            char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
            const int fd = memfd_create("lumivox-keymap", MFD_CLOEXEC);
            if (text != nullptr && fd >= 0) {
                const std::string whole(text, std::strlen(text) + 1);  // with its NUL
                writeAll(fd, whole);
                keyboard =
                    zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, seat);
                zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                               static_cast<std::uint32_t>(whole.size()));
                controlMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
                made = true;
            }
            if (fd >= 0) {
                close(fd);
            }
            std::free(text);
            xkb_keymap_unref(keymap);
        }
        xkb_context_unref(context);
        return made;
    }

    // ---- the worker's loop
    // Serves the compositor's events until `done` holds or the deadline passes;
    // `extraFd`, when readable, goes to `onExtra`. False at the deadline or when
    // the connection broke.
    bool pump(Clock::time_point deadline, const std::function<bool()>& done, int extraFd = -1,
              const std::function<void()>& onExtra = {}) {
        const int fd = wl_display_get_fd(display);
        for (;;) {
            if (broken || wl_display_get_error(display) != 0) {
                broken = true;
                return false;
            }
            if (done()) {
                return true;
            }
            const auto now = Clock::now();
            if (now >= deadline) {
                return false;
            }
            while (wl_display_prepare_read(display) != 0) {
                wl_display_dispatch_pending(display);
            }
            if (done()) {
                wl_display_cancel_read(display);
                return true;
            }
            wl_display_flush(display);
            pollfd ready[2] = {{fd, POLLIN, 0}, {extraFd, POLLIN, 0}};
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
            const int timeout = deadline == Clock::time_point::max()
                                    ? -1
                                    : static_cast<int>(std::min<long long>(left.count(), 60000));
            const int count = poll(ready, extraFd >= 0 ? 2 : 1, timeout);
            if (count > 0 && (ready[0].revents & POLLIN) != 0) {
                if (wl_display_read_events(display) != 0) {
                    broken = true;
                }
            } else {
                wl_display_cancel_read(display);
            }
            if ((ready[0].revents & (POLLERR | POLLHUP)) != 0) {
                broken = true;
            }
            wl_display_dispatch_pending(display);
            if (extraFd >= 0 && ready[1].revents != 0 && onExtra) {
                onExtra();
            }
        }
    }
    void settle(std::chrono::milliseconds length) {
        pump(Clock::now() + length, [] { return false; });
    }

    // Reads one type of the clipboard's offer, by the deadline and within the
    // size limit; false when the owner does not hand it over whole.
    bool readOffer(const std::string& type, Clock::time_point deadline, std::string& bytes,
                   std::size_t room) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        zwlr_data_control_offer_v1_receive(selection, type.c_str(), ends[1]);
        close(ends[1]);
        bytes.clear();
        bool whole = false, failed = false;
        pump(
            deadline, [&] { return whole || failed; }, ends[0],
            [&] {
                char buffer[65536];
                const ssize_t got = read(ends[0], buffer, sizeof buffer);
                if (got > 0 && static_cast<std::size_t>(got) <= room - bytes.size()) {
                    bytes.append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0) {
                    whole = true;
                } else if (got > 0 || (errno != EAGAIN && errno != EINTR)) {
                    failed = true;  // too long, or broken
                }
            });
        close(ends[0]);
        return whole;
    }

    // The clipboard's contents now, every type of them; none when it holds
    // nothing (`empty`) or when its owner does not hand over all of it in time.
    std::optional<Contents> clipboardContents(bool& empty) {
        empty = false;
        if (ownSelection != nullptr) {
            return ownSelection->contents;
        }
        if (selection == nullptr) {
            empty = true;
            return std::nullopt;
        }
        const std::vector<std::string>& types = offers[selection];
        const auto deadline = Clock::now() + kKeepTimeout;
        const bool anyNamed = std::any_of(types.begin(), types.end(), [](const std::string& type) {
            return type.find('/') != std::string::npos ||
                   std::find(std::begin(kTextTypes), std::end(kTextTypes), type) !=
                       std::end(kTextTypes);
        });
        if (!anyNamed) {
            // KWin 5.27 may announce another data-control client's text (wl-copy's)
            // under one garbled type: an offer without a type we know is still
            // asked for text, and an owner without text answers with nothing or
            // not at all.
            std::string text;
            if (!readOffer(kTextTypes[0], std::min(deadline, Clock::now() + kReadTimeout), text,
                           kMaxKeptBytes)) {
                return std::nullopt;
            }
            return textContents(text);
        }
        Contents contents;
        std::size_t kept = 0;
        for (const std::string& type : types) {
            if (std::any_of(contents.begin(), contents.end(),
                            [&](const auto& entry) { return entry.first == type; })) {
                continue;
            }
            std::string bytes;
            if (!readOffer(type, deadline, bytes, kMaxKeptBytes - kept)) {
                return std::nullopt;  // not all of it: not given back in part
            }
            kept += bytes.size();
            contents.emplace_back(type, std::move(bytes));
        }
        if (contents.empty()) {
            return std::nullopt;
        }
        return contents;
    }

    // Waits (bounded) until the compositor has handled every request so far and
    // its events are dispatched: whether a source of ours is still the
    // clipboard's is then known.
    void sync() {
        bool done = false;
        wl_callback* callback = wl_display_sync(display);
        static const wl_callback_listener listener{
            [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
        wl_callback_add_listener(callback, &listener, &done);
        pump(Clock::now() + kSetTimeout, [&] { return done; });
        wl_callback_destroy(callback);
    }
    bool phraseStillHolds() const {
        return pendingPhrase != 0 && ownSelection != nullptr && ownSelection->id == pendingPhrase;
    }

    // Puts the text on the clipboard; it is there once the compositor has
    // announced the new selection without cancelling ours. Null when it is not.
    Source* setClipboard(Contents contents) {
        auto made = std::make_unique<Source>();
        Source* source = made.get();
        source->owner = this;
        source->contents = std::move(contents);
        source->id = ++sourceIds;
        source->source = zwlr_data_control_manager_v1_create_data_source(dataControl);
        static const zwlr_data_control_source_v1_listener listener{sourceSend, sourceCancelled};
        zwlr_data_control_source_v1_add_listener(source->source, &listener, source);
        for (const auto& [type, bytes] : source->contents) {
            zwlr_data_control_source_v1_offer(source->source, type.c_str());
        }
        sources.push_back(std::move(made));
        const unsigned before = selectionEvents;
        zwlr_data_control_device_v1_set_selection(device, source->source);
        const bool announced = pump(Clock::now() + kSetTimeout,
                                    [&] { return source->cancelled || selectionEvents != before; });
        if (!announced || source->cancelled) {
            return nullptr;
        }
        ownSelection = source;
        return source;
    }

    void paste(std::string text) {
        // Sources the compositor has cancelled are done with.
        std::erase_if(sources, [](const auto& source) { return source->cancelled; });
        // The program's line break is CR LF; a CR pasted into a text box makes a
        // second, empty line.
        for (std::size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at)) {
            text.erase(at, 1);
        }
        // A portal that ended drops its sessions without a word: the first key
        // finds out, and a new session is asked for once before the phrase is
        // given up.
        const bool ready = keys->open() && (keys->enter() || (keys->open() && keys->enter()));
        if (!ready) {
            if (unable && !keys->missing().empty()) {
                unable(keys->missing());
            } else {
                std::fputs("lumivox: the phrase was not sent: the first key did not go out\n",
                           stderr);
            }
            return;
        }
        // The host's clipboard: what the last phrase was to give back while that
        // phrase still holds the clipboard, else what is there now (the host
        // copied something newer meanwhile).
        bool wasEmpty = false;
        std::optional<Contents> earlier;
        if (restoreAt != Clock::time_point::max()) {
            sync();
        }
        if (restoreAt != Clock::time_point::max() && phraseStillHolds()) {
            earlier = std::move(pendingRestore);
            wasEmpty = pendingClear;
        } else {
            earlier = clipboardContents(wasEmpty);
        }
        pendingRestore.reset();
        pendingClear = false;
        pendingPhrase = 0;
        restoreAt = Clock::time_point::max();
        Source* phrase = setClipboard(textContents(text));
        if (phrase == nullptr) {
            std::fputs("lumivox: the desktop did not take the phrase onto the clipboard\n", stderr);
            return;
        }
        if (!keys->controlV()) {
            std::fputs("lumivox: the phrase was not pasted: a key did not go out\n", stderr);
        }
        // The last Enter once the focused window has fetched the text, with a
        // bounded wait; the text is served meanwhile.
        const Clock::time_point pasted = Clock::now();
        const bool asked = pump(pasted + kFetchTimeout, [&] { return phrase->sends > 0; });
        const Clock::duration asking = asked ? Clock::now() - pasted : Clock::duration{};
        settle(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max<Clock::duration>(kSettle, asking)));
        keys->enter();
        // The host's earlier clipboard comes back a little later: a target still
        // reading the phrase would read the earlier text instead (GTK starts over
        // when the clipboard changes under it).
        // A clipboard that could not be read whole is left as it is then.
        pendingRestore = std::move(earlier);
        pendingClear = !pendingRestore && wasEmpty;
        pendingPhrase = phrase->id;
        restoreAt = Clock::now() + kRestoreDelay;
    }

    void restoreIfDue() {
        if (Clock::now() < restoreAt) {
            return;
        }
        restoreAt = Clock::time_point::max();
        // Given back only while the phrase still holds the clipboard: what the
        // host copied since is newer and stays.
        sync();
        if (phraseStillHolds()) {
            if (pendingRestore) {
                setClipboard(std::move(*pendingRestore));
            } else if (pendingClear) {
                zwlr_data_control_device_v1_set_selection(device, nullptr);
                wl_display_flush(display);
            }
        }
        pendingRestore.reset();
        pendingClear = false;
        pendingPhrase = 0;
    }
};

namespace {

// The keys through the connection's own virtual keyboard.
class VirtualKeyboardKeys final : public PhraseKeys {
  public:
    explicit VirtualKeyboardKeys(WaylandPaster::Connection& connection) : connection_(connection) {}
    bool open() override { return true; }
    std::string missing() const override { return {}; }
    bool enter() override {
        if (!warmedUp_) {
            // The focused window loses the very first key of a new keyboard (GTK
            // does): a lone Shift goes first, and it is given time to arrive.
            warmedUp_ = true;
            key(KEY_LEFTSHIFT, true);
            key(KEY_LEFTSHIFT, false);
            connection_.settle(50ms);
        }
        key(KEY_ENTER, true);
        key(KEY_ENTER, false);
        return wl_display_flush(connection_.display) >= 0;
    }
    bool controlV() override {
        zwp_virtual_keyboard_v1* keyboard = connection_.keyboard;
        key(KEY_LEFTCTRL, true);
        zwp_virtual_keyboard_v1_modifiers(keyboard, connection_.controlMask, 0, 0, 0);
        key(KEY_V, true);
        key(KEY_V, false);
        key(KEY_LEFTCTRL, false);
        zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
        return wl_display_flush(connection_.display) >= 0;
    }

  private:
    void key(std::uint32_t code, bool down) {
        zwp_virtual_keyboard_v1_key(
            connection_.keyboard, milliseconds(), code,
            down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    }

    WaylandPaster::Connection& connection_;
    bool warmedUp_ = false;
};

}  // namespace

WaylandPaster::WaylandPaster(std::function<void(const std::string&)> unable)
    : connection_(std::make_unique<Connection>()) {
    abilities_ = connection_->connect();
    if (!abilities_.connected || !abilities_.dataControl) {
        return;
    }
    if (abilities_.virtualKeyboard) {
        connection_->keys = std::make_unique<VirtualKeyboardKeys>(*connection_);
    } else {
        connection_->keys = std::make_unique<PortalKeyboard>([this] {
            std::lock_guard lock(mutex_);
            return ending_;
        });
    }
    connection_->unable = std::move(unable);
    connection_->ending = [this] {
        std::lock_guard lock(mutex_);
        return ending_;
    };
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ >= 0) {
        worker_ = std::thread([this] { work(); });
    }
}

WaylandPaster::~WaylandPaster() {
    if (worker_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        const std::uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        worker_.join();
    }
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void WaylandPaster::pastePhrase(const std::string& utf8) {
    if (!canPaste() || !worker_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(utf8);
    }
    const std::uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
}

void WaylandPaster::work() {
    // A reader that closes its end of the clipboard's pipe early must not end
    // the program: on this thread a write to it fails with EPIPE instead.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    Connection& connection = *connection_;
    // The keys made ready at once, off the GUI thread: a portal's session takes
    // a few round trips through the desktop, which the first phrase need not wait for.
    connection.keys->open();
    for (;;) {
        std::optional<std::string> phrase;
        {
            std::lock_guard lock(mutex_);
            if (ending_) {
                return;
            }
            if (!queue_.empty()) {
                phrase = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (phrase) {
            connection.paste(std::move(*phrase));
            continue;
        }
        // Idle: the clipboard is still served (the host pasting our text back).
        connection.pump(
            connection.restoreAt,
            [&] {
                std::lock_guard lock(mutex_);
                return ending_ || !queue_.empty();
            },
            wakeFd_,
            [&] {
                std::uint64_t count = 0;
                (void)!read(wakeFd_, &count, sizeof count);
            });
        if (connection.broken) {
            std::fputs("lumivox: the Wayland connection for the phrases broke\n", stderr);
            return;
        }
        connection.restoreIfDue();
    }
}

}  // namespace lumivox::platform::wayland
