#pragma once
// Stand-ins for the system's hotkey table and key injection, for tests of the
// service and the page without a display: the table refuses what the platform
// refuses (a combination held by another program or by us, an identifier in
// use) and fires hotkeys on demand; the injector records every key event.
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/GlobalHotkeys.hpp"
#include "platform/KeyInjection.hpp"

namespace lumivox::testing {

class FakeHotkeys : public platform::GlobalHotkeys {
  public:
    using Combination = std::pair<unsigned, int>;  // flags, virtual key

    bool registerHotkey(int identifier, unsigned flags, int virtualKey) override {
        const Combination combination{flags, virtualKey};
        if (registered.contains(identifier) || heldByOthers.contains(combination)) {
            return false;
        }
        for (const auto& [id, held] : registered) {
            if (held == combination) {
                return false;
            }
        }
        registered[identifier] = combination;
        return true;
    }
    // Records how many hotkeys each request asked for.
    std::vector<bool> registerHotkeys(const std::vector<platform::HotkeyRequest>& requests) override {
        batches.push_back(requests.size());
        return GlobalHotkeys::registerHotkeys(requests);
    }
    bool unregisterHotkey(int identifier) override { return registered.erase(identifier) > 0; }
    bool startListening(platform::HotkeyListener l) override {
        listener = std::move(l);
        return listening = true;
    }
    bool stopListening() override {
        const bool was = listening;
        listening = false;
        listener = {};
        return was;
    }
    // The host presses a key: the platform reports it when it is registered.
    void press(unsigned flags, int virtualKey) {
        for (const auto& [id, held] : registered) {
            if (held == Combination{flags, virtualKey} && listening) {
                listener(id);
                return;
            }
        }
    }

    std::set<Combination> heldByOthers;
    std::vector<std::size_t> batches;
    std::map<int, Combination> registered;
    platform::HotkeyListener listener;
    bool listening = false;
};

class RecordingKeys : public platform::KeyInjector {
  public:
    struct KeyEvent {
        int key;
        bool down;
        bool operator==(const KeyEvent&) const = default;
    };
    bool injectKey(int virtualKey, bool down) override {
        events.push_back({virtualKey, down});
        return true;
    }
    // Letters as their capital's code; anything else has no key.
    int virtualKeyForCharacter(char32_t character) override {
        looked.push_back(character);
        if (character >= U'a' && character <= U'z') {
            return static_cast<int>(character - U'a' + U'A');
        }
        return -1;
    }
    std::vector<KeyEvent> events;
    std::vector<char32_t> looked;
};

}  // namespace lumivox::testing
