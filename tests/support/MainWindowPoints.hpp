#pragma once
// Where a control lies, from the program's own layout: the centre of a control
// in its window's client coordinates (nested picture boxes added).
#include <string_view>
#include <utility>

#include "forms/Layout.hpp"

namespace lumivox::testing {

// {-1, -1} when the layout has no such control.
inline std::pair<int, int> centreOf(const layout::WindowLayout& window, std::string_view name) {
    const auto controls = layout::expandControls(window);
    auto find = [&](std::string_view wanted) -> const layout::Control* {
        for (const layout::Control& control : controls) {
            if (control.name == wanted) {
                return &control;
            }
        }
        return nullptr;
    };
    const layout::Control* control = find(name);
    if (control == nullptr) {
        return {-1, -1};
    }
    int x = control->left + control->width / 2, y = control->top + control->height / 2;
    for (const layout::Control* parent = find(control->parent); parent != nullptr;
         parent = find(parent->parent)) {
        x += parent->left, y += parent->top;
    }
    return {x, y};
}

inline std::pair<int, int> mainWindowCentre(std::string_view name) {
    return centreOf(layout::mainWindowLayout(), name);
}

}  // namespace lumivox::testing
