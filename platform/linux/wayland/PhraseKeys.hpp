#pragma once
// The keys of a phrase (Enter, Ctrl+V), whichever way the desktop lets a program
// type into the focused window. Used by the paster's worker thread only.
#include <string>

namespace lumivox::platform::wayland {

class PhraseKeys {
  public:
    virtual ~PhraseKeys() = default;
    // Ready to type; may take a while the first time (a portal's session).
    // False when the desktop refuses; `missing()` then says what is missing.
    virtual bool open() = 0;
    virtual std::string missing() const = 0;
    // Each returns once the key went out; false when it could not.
    virtual bool enter() = 0;
    virtual bool controlV() = 0;
};

}  // namespace lumivox::platform::wayland
