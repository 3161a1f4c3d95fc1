#include "forms/win32/Win32Forms.hpp"

// After windows.h, whose types it uses.
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "forms/win32/Win32Controls.hpp"

namespace lumivox::win32 {

Win32Forms::Win32Forms(std::function<const layout::WindowLayout*(std::string_view)> findLayout,
                       const std::vector<Binding>& wiring)
    : findLayout_(std::move(findLayout)), wiring_(wiring) {
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Win32Window::registerClass();
    registerControlClasses();
}

Win32Forms::~Win32Forms() {
    // Windows still open go with the runtime (they refer to it).
    for (auto& window : windows_) {
        if (!window->gone() && window->handle() != nullptr) {
            DestroyWindow(window->handle());
        }
    }
    windows_.clear();
}

Win32Window* Win32Forms::openForm(std::string_view layout) const {
    for (const auto& window : windows_) {
        if (window->layoutName() == layout && !window->closing() && !window->gone()) {
            return window.get();
        }
    }
    return nullptr;
}

Win32Window* Win32Forms::formOf(HWND topLevel) const {
    for (const auto& window : windows_) {
        if (window->handle() == topLevel && !window->gone()) {
            return window.get();
        }
    }
    return nullptr;
}

Window* Win32Forms::openWindow(std::string_view layout) {
    return openForm(layout);
}

bool Win32Forms::loadWindow(std::string_view layoutName, Window* parent, bool dialogMode) {
    if (Win32Window* open = openForm(layoutName)) {
        if (IsIconic(open->handle())) {
            ShowWindow(open->handle(), SW_RESTORE);
        } else {
            SetForegroundWindow(open->handle());
        }
        return true;
    }
    if (!dialogMode && parent != nullptr) {
        bool parentOpen = false;
        for (const auto& window : windows_) {
            parentOpen = parentOpen || (static_cast<Window*>(window.get()) == parent &&
                                        !window->closing() && !window->gone());
        }
        if (!parentOpen) {
            return false;
        }
    }
    const layout::WindowLayout* layout = findLayout_(layoutName);
    if (layout == nullptr) {
        return false;
    }
    auto made = std::make_unique<Win32Window>(*this, *layout);
    Win32Window* window = made.get();
    windows_.push_back(std::move(made));
    if (!window->build()) {
        if (window->handle() != nullptr) {
            DestroyWindow(window->handle());
        }
        std::erase_if(windows_, [window](const auto& held) { return held.get() == window; });
        return false;
    }
    if (!dialogMode && parent != nullptr) {
        owned_.emplace_back(window, static_cast<FormCore*>(parent));
    }
    window->dispatch({.kind = EventKind::Created});
    if (window->closing() || window->gone()) {
        return true;
    }
    // In dialog mode every other window is disabled until this one closes.
    if (dialogMode) {
        std::vector<FormCore*> others;
        for (const auto& other : windows_) {
            if (other.get() != window && !other->closing() && !other->gone()) {
                others.push_back(other.get());
            }
        }
        window->disableOthersWhileOpen(others);
    }
    ShowWindow(window->handle(), SW_SHOW);
    UpdateWindow(window->handle());
    if (dialogMode) {
        // Windows are freed only by the outermost loop, so `window` stays valid.
        while (!window->gone() && pumpOne()) {
        }
    }
    return true;
}

void Win32Forms::windowDestroyed(Win32Window* gone) {
    // A window opened from another (not in dialog mode) closes with it, so that
    // closing the main window ends the program whatever else is open.
    std::vector<Win32Window*> orphans;
    for (const auto& [window, owner] : owned_) {
        if (owner == gone && !window->gone() && !window->closing()) {
            orphans.push_back(window);
        }
    }
    std::erase_if(owned_, [gone](const auto& pair) {
        return pair.first == gone || pair.second == gone;
    });
    for (Win32Window* orphan : orphans) {
        orphan->close();
    }
    const bool anyLeft = std::any_of(windows_.begin(), windows_.end(),
                                     [](const auto& window) { return !window->gone(); });
    if (!anyLeft && !quitPosted_) {
        quitPosted_ = true;
        PostQuitMessage(0);
    }
}

bool Win32Forms::preTranslate(MSG& message) {
    if (message.hwnd == nullptr) {
        return false;
    }
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    Win32Window* form = formOf(root);
    if (form == nullptr) {
        return false;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        const bool held =
            GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0;
        form->escapePressed(held);
        return true;  // no control of the program claims Esc
    }
    return IsDialogMessageW(root, &message) != 0;
}

bool Win32Forms::pumpOne() {
    MSG message;
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : -1);
        return false;
    }
    deliver(message);
    return true;
}

void Win32Forms::deliver(MSG& message) {
    if (!preTranslate(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool Win32Forms::processPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        deliver(message);
    }
    return true;
}

void Win32Forms::collect() {
    std::erase_if(windows_, [](const auto& window) { return window->gone(); });
}

int Win32Forms::run() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return -1;
        }
        deliver(message);
        collect();
    }
    collect();
    return static_cast<int>(message.wParam);
}

}  // namespace lumivox::win32
