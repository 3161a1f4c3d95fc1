#pragma once
// Text helpers over any window's edit boxes.
#include <initializer_list>
#include <string_view>

#include "forms/Window.hpp"

namespace lumivox {

// Appends the texts, in order, at the end of the named edit box of the window.
void appendToEditBox(Window& window, std::string_view editBox, std::initializer_list<std::string_view> texts);
template <typename... Texts>
void appendToEditBox(Window& window, std::string_view editBox, const Texts&... texts) {
    appendToEditBox(window, editBox, {std::string_view(texts)...});
}

}  // namespace lumivox
