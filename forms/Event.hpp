#pragma once
// Control events, the handlers they run and the table that binds one to the
// other. A form runtime dispatches each event through the table it was given.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "forms/Window.hpp"

namespace lumivox {

enum class EventKind {
    Created,         // a window, after its controls exist and before it is shown
    Clicked,         // an image button
    LeftButtonDown,  // a transparent label: x, y and the key state
    Notification,    // a label: two integers (the hotkey service's report)
    Tick,            // a timer
};

// Key state bits of a mouse event.
inline constexpr int kKeyStateCtrl = 1;
inline constexpr int kKeyStateShift = 2;
inline constexpr int kKeyStateAlt = 4;

// What an event carries. `number` is the control's number within its series
// (`官方音按钮7` gives 7), 0 for a control outside a series.
struct Event {
    EventKind kind = EventKind::Created;
    std::string_view control = {};  // empty for the window's own events
    int number = 0;
    int x = 0, y = 0, keyState = 0;      // LeftButtonDown
    std::int32_t first = 0, second = 0;  // Notification
};

// A handler runs on the GUI thread, to completion; it may run a nested loop (a
// message box, a dialog-mode window) during which other events are dispatched.
using Handler = std::function<void(Window& window, const Event& event)>;

// One row: the event of a control (or of the numbered controls `control`first to
// `control`last) of a window layout, and its handler. An empty handler is one
// whose subsystem is not built yet: the event then does nothing.
struct Binding {
    std::string_view window;
    std::string_view control;  // empty: the window itself
    int first = 0, last = 0;
    EventKind kind;
    Handler handler;
};

// The binding of that event of that control in a wiring table, or null; `number`
// receives the control's number within its series.
const Binding* findBinding(const std::vector<Binding>& wiring, std::string_view window,
                           std::string_view control, EventKind kind, int* number = nullptr);

}  // namespace lumivox
