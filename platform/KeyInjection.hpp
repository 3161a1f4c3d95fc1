#pragma once
// Key events injected into the system's input stream: the window with the
// keyboard focus receives them as if typed.

namespace lumivox::platform {

class KeyInjector {
  public:
    virtual ~KeyInjector() = default;
    // One key going down or up, by virtual-key code. False when it cannot be
    // injected (no display, no key for the code in the current keyboard map).
    virtual bool injectKey(int virtualKey, bool down) = 0;
    // The virtual-key code of the key that types the character under the current
    // keyboard layout, or -1 when no key types it.
    virtual int virtualKeyForCharacter(char32_t character) = 0;
};

// The system's injector (XTest on Linux).
KeyInjector& systemKeyInjector();

}  // namespace lumivox::platform
