#include "forms/WindowText.hpp"

namespace lumivox {

void appendToEditBox(Window& window, std::string_view editBox,
                     std::initializer_list<std::string_view> texts) {
    for (std::string_view text : texts) {
        window.appendText(editBox, Text(text));
    }
}

}  // namespace lumivox
