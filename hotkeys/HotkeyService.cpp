#include "hotkeys/HotkeyService.hpp"

#include <utility>

#include "forms/Window.hpp"

namespace lumivox {

unsigned HotkeyService::translateModifiers(int modifiers) {
    using namespace platform;
    switch (modifiers) {
        case 0:
            return 0;
        case 1:
            return kHotkeyControl;
        case 2:
            return kHotkeyShift;
        case 3:
            return kHotkeyControl | kHotkeyShift;
        case 4:
            return kHotkeyAlt;
        case 5:
            return kHotkeyControl | kHotkeyAlt;
        case 6:
            return kHotkeyShift | kHotkeyAlt;
        default:
            return static_cast<unsigned>(modifiers);
    }
}

HotkeyService::Receiver HotkeyService::receiverOf(Window& window, std::string_view receiverLabel) {
    // The window is looked up by its layout when a hotkey fires: a hotkey that
    // comes after it has closed then finds nothing rather than a destroyed window.
    return [&forms = window.forms(), layout = std::string(window.layoutName()),
            label = std::string(receiverLabel)](std::int32_t first, std::int32_t second) {
        if (Window* receiver = forms.openWindow(layout)) {
            receiver->raiseNotification(label, first, second);
        }
    };
}

std::int32_t HotkeyService::addGlobalHotkey(Window& window, std::string_view receiverLabel,
                                            int modifiers, int virtualKey) {
    return add(receiverOf(window, receiverLabel), modifiers, {virtualKey})[0];
}

std::int32_t HotkeyService::addGlobalHotkey(Receiver receiver, int modifiers, int virtualKey) {
    return add(std::move(receiver), modifiers, {virtualKey})[0];
}

std::vector<std::int32_t> HotkeyService::addGlobalHotkeys(Window& window,
                                                          std::string_view receiverLabel,
                                                          int modifiers,
                                                          const std::vector<int>& virtualKeys) {
    return add(receiverOf(window, receiverLabel), modifiers, virtualKeys);
}

std::vector<std::int32_t> HotkeyService::add(Receiver receiver, int modifiers,
                                             const std::vector<int>& virtualKeys) {
    receiver_ = std::move(receiver);
    const unsigned flags = translateModifiers(modifiers);
    if (!listening_) {
        listening_ = platform_.startListening([this](int identifier) { onHotkey(identifier); });
    }
    std::vector<platform::HotkeyRequest> requests;
    for (int virtualKey : virtualKeys) {
        ++activeCount_;
        ++sequence_;
        lastIdentifier_ = static_cast<std::int32_t>(33000u + sequence_);
        requests.push_back({lastIdentifier_, flags, virtualKey});
    }
    const std::vector<bool> taken = platform_.registerHotkeys(requests);
    std::vector<std::int32_t> identifiers;
    for (std::size_t k = 0; k < requests.size(); ++k) {
        identifiers.push_back(k < taken.size() && taken[k] ? requests[k].identifier : 0);
    }
    return identifiers;
}

bool HotkeyService::removeGlobalHotkey(std::int32_t identifier) {
    const bool removed = platform_.unregisterHotkey(identifier);
    // Never below 0: a removal before any registration (switching off before
    // switching on) would otherwise keep the count from reaching 0 ever again.
    if (activeCount_ > 0) {
        --activeCount_;
    }
    if (listening_ && activeCount_ == 0) {
        listening_ = false;
        return platform_.stopListening();
    }
    return removed;
}

void HotkeyService::onHotkey(int identifier) {
    // Only identifiers this run has handed out are reported.
    if (identifier >= kFirstHotkeyIdentifier && identifier <= lastIdentifier_ && receiver_) {
        Receiver receiver = receiver_;  // the handler may register again
        receiver(identifier, 0);
    }
}

HotkeyService& hotkeyService() {
    static HotkeyService service(platform::programGlobalHotkeys());
    return service;
}

}  // namespace lumivox
