#pragma once
// Injects up to three keys as one chord: all pressed in order, then all
// released in the same order (Ctrl+V is Ctrl down, V down, Ctrl up, V up).
#include <string_view>
#include <variant>

#include "platform/KeyInjection.hpp"
#include "base/Types.hpp"

namespace lumivox {

// A key of `simulateKeys`: a virtual-key code (only its low byte counts; 0 is no
// key), or a GBK text whose first character is looked up under the current
// keyboard layout.
class KeyArgument {
  public:
    KeyArgument() = default;
    KeyArgument(int virtualKey) : value_(virtualKey) {}
    KeyArgument(std::string_view text) : value_(Text(text)) {}
    KeyArgument(const char* text) : value_(Text(text)) {}
    // The code to inject: the low byte of the code or of the text's lookup.
    int code(platform::KeyInjector& injector) const;

  private:
    std::variant<int, Text> value_ = 0;
};

void simulateKeys(platform::KeyInjector& injector, const KeyArgument& key1,
                  const KeyArgument& key2 = {}, const KeyArgument& key3 = {});
// On the system's injector.
void simulateKeys(const KeyArgument& key1, const KeyArgument& key2 = {},
                  const KeyArgument& key3 = {});

}  // namespace lumivox
