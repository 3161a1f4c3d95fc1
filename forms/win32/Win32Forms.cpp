#include "forms/win32/Win32Forms.hpp"

// After windows.h, whose types they use.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <utility>

#include "base/Encoding.hpp"
#include "forms/win32/Win32Controls.hpp"
#include "forms/win32/Win32Pictures.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::win32 {
namespace {

using layout::Kind;

constexpr wchar_t kFormClass[] = L"LumivoxForm";

std::wstring wideOf(const Text& gbk) {
    return platform::widen(gbkToUtf8(gbk));
}

Text gbkOf(const std::wstring& wide) {
    return utf8ToGbk(platform::narrow(wide));
}

std::wstring wideOfUtf8(const std::string& utf8) {
    return platform::widen(utf8);
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool isEditBox(Kind kind) {
    return kind == Kind::EditBox || kind == Kind::MultiLineEditBox;
}

// An edit box of which the window shows no more than this edge shows only its
// frame's border, never any text (the update stores at the window's bottom edge).
constexpr int kEditFramePx = 2;

// Multi-line boxes take Enter as a line break but leave Tab to move the focus.
LRESULT CALLBACK multiLineEditProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR) {
    if (message == WM_GETDLGCODE) {
        LRESULT code = DefSubclassProc(window, message, wParam, lParam);
        auto* pending = reinterpret_cast<MSG*>(lParam);
        if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_TAB) {
            code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        }
        return code;
    }
    if (message == WM_CHAR && wParam == L'\t') {
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void registerFormClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window below
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kFormClass;
        RegisterClassExW(&windowClass);
        return true;
    }();
    (void)registered;
}

}  // namespace

// ---- Win32Forms -----------------------------------------------------------

Win32Forms::Win32Forms(std::function<const layout::WindowLayout*(std::string_view)> findLayout,
                       const std::vector<Binding>& wiring)
    : findLayout_(std::move(findLayout)), wiring_(wiring) {
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    registerFormClass();
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
    window->dispatch({.kind = EventKind::Created});
    if (window->closing() || window->gone()) {
        return true;
    }
    // In dialog mode every other window is disabled until this one closes, then
    // gets back the state it had.
    if (dialogMode) {
        std::vector<std::pair<Win32Window*, bool>> others;
        for (const auto& other : windows_) {
            if (other.get() != window && !other->closing() && !other->gone()) {
                others.emplace_back(other.get(), IsWindowEnabled(other->handle()) != 0);
                EnableWindow(other->handle(), FALSE);
            }
        }
        window->disableOthersWhileOpen(std::move(others));
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

void Win32Forms::windowDestroyed(Win32Window*) {
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
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE &&
        GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_MENU) >= 0 &&
        form->layout().escapeCloses && IsWindowEnabled(root)) {
        form->close();
        return true;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
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
    if (!preTranslate(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

bool Win32Forms::processPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (!preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
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
        if (!preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        collect();
    }
    collect();
    return static_cast<int>(message.wParam);
}

// ---- Win32Window ----------------------------------------------------------

Win32Window::Win32Window(Win32Forms& forms, const layout::WindowLayout& layout)
    : forms_(forms), layout_(layout) {}

Win32Window::~Win32Window() {
    if (window_ != nullptr && !gone_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK Win32Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

bool Win32Window::build() {
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    RECT outer{0, 0, layout_.clientWidth, layout_.clientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    if (layout_.centred) {
        // The outer window, frame included, centred on the primary screen.
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    window_ = CreateWindowExW(exStyle, kFormClass, wideOfUtf8(layout_.title).c_str(), style, x, y,
                              width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) {
        return false;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Window::procedure));
    // Its own icon, or the program's.
    const std::string_view icon = layout_.icon != nullptr ? layout_.icon : kProgramIcon;
    SendMessageW(window_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(embeddedIcon(icon, GetSystemMetrics(SM_CXICON))));
    SendMessageW(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(embeddedIcon(icon, GetSystemMetrics(SM_CXSMICON))));
    for (const layout::Control& spec : layout::expandControls(layout_)) {
        if (!makeControl(spec)) {
            return false;
        }
    }
    return true;
}

HWND Win32Window::parentHandle(const std::string& parent) const {
    if (parent.empty()) {
        return window_;
    }
    auto found = controls_.find(parent);
    return found == controls_.end() ? nullptr : found->second.handle;
}

bool Win32Window::showsNothing(const layout::Control& spec) const {
    // Shown only when it and every control it lies in are, each inside its
    // parent, and the window shows more than a frame's edge of it.
    RECT inWindow{spec.left, spec.top, spec.left + spec.width, spec.top + spec.height};
    if (!spec.visible) {
        return true;
    }
    for (std::string up = spec.parent; !up.empty();) {
        auto found = controls_.find(up);
        if (found == controls_.end() || found->second.handle == nullptr) {
            return true;
        }
        HWND parent = found->second.handle;
        if ((GetWindowLongW(parent, GWL_STYLE) & WS_VISIBLE) == 0) {
            return true;
        }
        RECT client;
        GetClientRect(parent, &client);
        IntersectRect(&inWindow, &inWindow, &client);
        MapWindowPoints(parent, window_, reinterpret_cast<POINT*>(&inWindow), 2);
        up = found->second.parent;
    }
    RECT client{0, 0, layout_.clientWidth, layout_.clientHeight};
    IntersectRect(&inWindow, &inWindow, &client);
    return inWindow.right - inWindow.left <= kEditFramePx ||
           inWindow.bottom - inWindow.top <= kEditFramePx;
}

HWND Win32Window::makeEditBox(const layout::Control& spec, HWND parent) {
    DWORD style = WS_CHILD | WS_TABSTOP | ES_LEFT | (spec.visible ? WS_VISIBLE : 0);
    style |= spec.kind == Kind::MultiLineEditBox ? ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN
                                                 : ES_AUTOHSCROLL;
    HWND box =
        CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"", style, spec.left, spec.top, spec.width,
                        spec.height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (box == nullptr) {
        return nullptr;
    }
    SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(spec.font)), FALSE);
    SendMessageW(box, EM_SETLIMITTEXT, 0, 0);  // no length limit
    if (spec.kind == Kind::MultiLineEditBox) {
        SetWindowSubclass(box, multiLineEditProcedure, 1, 0);
    }
    return box;
}

bool Win32Window::makeControl(const layout::Control& spec) {
    HWND parent = parentHandle(spec.parent);
    if (parent == nullptr) {
        return false;
    }
    Control control{.kind = spec.kind, .parent = spec.parent, .order = made_++};
    const RECT place{spec.left, spec.top, spec.left + spec.width, spec.top + spec.height};
    const DWORD shown = spec.visible ? WS_VISIBLE : 0;
    const std::wstring caption = wideOfUtf8(spec.caption);
    const std::string name = spec.name;
    control.caption = utf8ToGbk(spec.caption);
    switch (spec.kind) {
        case Kind::PictureBox: {
            const Picture* picture = nullptr;
            if (!spec.caption.empty()) {
                picture = embeddedPicture(spec.caption);
                if (picture == nullptr) {
                    return false;
                }
            }
            control.caption.clear();
            control.handle = createPictureBox(parent, place, shown, picture);
            break;
        }
        case Kind::ImageButton: {
            for (const char* asset : {spec.button.pictureOut, spec.button.pictureIn}) {
                if (asset != nullptr && embeddedPicture(asset) == nullptr) {
                    return false;
                }
            }
            control.handle =
                createImageButton(parent, place, shown,
                                  {.look = spec.button,
                                   .font = fontFor(spec.font),
                                   .caption = caption,
                                   .clicked = [this, name] {
                                       dispatch({.kind = EventKind::Clicked, .control = name});
                                   }});
            break;
        }
        case Kind::TransparentLabel:
            control.handle =
                createTransparentLabel(parent, place, shown,
                                       {.look = spec.label,
                                        .font = fontFor(spec.font),
                                        .caption = caption,
                                        .leftButtonDown = [this, name](int x, int y, int keyState) {
                                            dispatch({.kind = EventKind::LeftButtonDown,
                                                      .control = name,
                                                      .x = x,
                                                      .y = y,
                                                      .keyState = keyState});
                                        }});
            break;
        case Kind::EditBox:
        case Kind::MultiLineEditBox:
            control.caption.clear();
            control.written = utf8ToGbk(spec.caption);
            if (showsNothing(spec)) {
                control.store = spec;
            } else {
                control.handle = makeEditBox(spec, parent);
                showEditText(control);
            }
            break;
        case Kind::Label:
            control.handle = CreateWindowExW(
                0, WC_STATICW, caption.c_str(), WS_CHILD | SS_LEFT | shown, place.left, place.top,
                spec.width, spec.height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
            break;
        case Kind::GroupBox:
            control.handle = CreateWindowExW(WS_EX_CONTROLPARENT, WC_BUTTONW, caption.c_str(),
                                             WS_CHILD | BS_GROUPBOX | WS_CLIPSIBLINGS | shown,
                                             place.left, place.top, spec.width, spec.height, parent,
                                             nullptr, GetModuleHandleW(nullptr), nullptr);
            break;
        case Kind::ProgressBar:
            control.caption.clear();
            control.handle = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | shown, place.left,
                                             place.top, spec.width, spec.height, parent, nullptr,
                                             GetModuleHandleW(nullptr), nullptr);
            if (control.handle != nullptr) {
                SendMessageW(control.handle, PBM_SETRANGE32, 0, 100);
                SendMessageW(control.handle, PBM_SETPOS, 0, 0);
            }
            break;
        case Kind::StatusBar: {
            control.caption.clear();
            control.handle = CreateWindowExW(0, STATUSCLASSNAMEW, L"",
                                             WS_CHILD | CCS_NOPARENTALIGN | CCS_NORESIZE | shown,
                                             place.left, place.top, spec.width, spec.height, parent,
                                             nullptr, GetModuleHandleW(nullptr), nullptr);
            const int parts = std::max(spec.parts, 1);
            control.statusTexts.assign(static_cast<size_t>(parts), Text());
            if (control.handle != nullptr) {
                std::vector<int> edges(static_cast<size_t>(parts));
                for (int part = 0; part < parts; ++part) {
                    edges[static_cast<size_t>(part)] =
                        part + 1 == parts ? -1 : (part + 1) * spec.partWidth;
                }
                SendMessageW(control.handle, SB_SETPARTS, static_cast<WPARAM>(parts),
                             reinterpret_cast<LPARAM>(edges.data()));
            }
            break;
        }
        case Kind::Timer:
            control.caption.clear();
            control.timerId = static_cast<UINT_PTR>(control.order + 1);
            timers_[control.timerId] = spec.name;
            break;
        case Kind::OpenFileDialog:
            control.caption.clear();
            break;
    }
    const bool needsWindow =
        spec.kind != Kind::Timer && spec.kind != Kind::OpenFileDialog && !control.store;
    if (needsWindow && control.handle == nullptr) {
        return false;
    }
    if (control.handle != nullptr && spec.kind != Kind::StatusBar) {
        SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(spec.font)),
                     FALSE);
    }
    auto [entry, added] = controls_.emplace(spec.name, std::move(control));
    if (!added) {
        return false;
    }
    if (spec.kind == Kind::Timer && spec.interval > 0) {
        setInterval(spec.name, spec.interval);  // a running timer starts at its creation
    }
    return true;
}

void Win32Window::makeStore(Control& control) {
    const layout::Control spec = *control.store;
    HWND parent = parentHandle(spec.parent);
    if (parent == nullptr) {
        return;
    }
    HWND box = makeEditBox(spec, parent);
    if (box == nullptr) {
        return;
    }
    control.handle = box;
    control.store.reset();
    showEditText(control);
    // After the sibling made before it, as if it had been made with the others:
    // the stacking and the Tab order follow.
    const Control* previous = nullptr;
    for (const auto& [name, other] : controls_) {
        if (other.handle != nullptr && &other != &control && other.order < control.order &&
            GetParent(other.handle) == parent &&
            (previous == nullptr || other.order > previous->order)) {
            previous = &other;
        }
    }
    SetWindowPos(box, previous != nullptr ? previous->handle : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Window::makeStoresBelow(std::string_view name) {
    const auto parentOf = [this](std::string_view control) {
        auto found = controls_.find(control);
        return found == controls_.end() ? std::string_view()
                                        : std::string_view(found->second.parent);
    };
    for (auto& [storeName, control] : controls_) {
        if (control.store && layout::liesWithin(control.parent, name, parentOf)) {
            makeStore(control);
        }
    }
}

void Win32Window::showEditText(Control& control) {
    control.shownForWritten = wideOf(control.written);
    SetWindowTextW(control.handle, control.shownForWritten.c_str());
}

const Win32Window::Control* Win32Window::find(std::string_view name, Kind kind) const {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return nullptr;
    }
    const Kind have = found->second.kind;
    return have == kind || (isEditBox(kind) && isEditBox(have)) ? &found->second : nullptr;
}

Win32Window::Control* Win32Window::find(std::string_view name, Kind kind) {
    return const_cast<Control*>(std::as_const(*this).find(name, kind));
}

HWND Win32Window::controlHandle(std::string_view name) const {
    auto found = controls_.find(name);
    return found == controls_.end() || gone_ ? nullptr : found->second.handle;
}

void Win32Window::dispatch(Event event) {
    const Binding* binding =
        findBinding(forms_.wiring(), layout_.name, event.control, event.kind, &event.number);
    if (binding != nullptr && binding->handler) {
        // The window object outlives the handler: a closed window is freed only
        // by the outermost message loop.
        binding->handler(*this, event);
    }
}

void Win32Window::disableOthersWhileOpen(std::vector<std::pair<Win32Window*, bool>> others) {
    disabledOthers_ = std::move(others);
}

void Win32Window::giveBackOthers() {
    for (auto& [other, enabled] : disabledOthers_) {
        if (!other->gone()) {
            EnableWindow(other->handle(), enabled ? TRUE : FALSE);
        }
    }
    disabledOthers_.clear();
}

void Win32Window::paintBackground(HDC dc) const {
    RECT area;
    GetClientRect(window_, &area);
    SetBkColor(dc, colourOf(layout_.background));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

void Win32Window::endHoverOfButtons() const {
    for (const auto& [name, control] : controls_) {
        if (control.kind == Kind::ImageButton && control.handle != nullptr) {
            SendMessageW(control.handle, kEndHover, 0, 0);
        }
    }
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            paintBackground(reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_PRINTCLIENT:
            paintBackground(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_TIMER: {
            auto found = timers_.find(static_cast<UINT_PTR>(wParam));
            if (found != timers_.end() && !closing_) {
                const std::string name = found->second;
                dispatch({.kind = EventKind::Tick, .control = name});
            }
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                endHoverOfButtons();
            }
            break;
        case WM_CLOSE:
            // A window that a dialog disabled may have a handler waiting in the
            // dialog's nested loop: only the program itself may close it, never
            // the host (close button, Alt+F4), or that handler would go on with
            // a window that is gone.
            if (!IsWindowEnabled(window_) && !closingByProgram_) {
                return 0;
            }
            // The close query has no handler: otherwise the close always goes ahead.
            closing_ = true;
            for (const auto& [id, name] : timers_) {
                KillTimer(window_, id);
            }
            giveBackOthers();
            DestroyWindow(window_);
            return 0;
        case WM_NCDESTROY: {
            closing_ = true;
            gone_ = true;
            giveBackOthers();
            const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
            forms_.windowDestroyed(this);
            return result;
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

bool Win32Window::hasControl(std::string_view name) const {
    return controls_.find(name) != controls_.end();
}

bool Win32Window::visible(std::string_view name) const {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return false;
    }
    const Control& control = found->second;
    if (control.store) {
        return control.store->visible;
    }
    // The control's own setting, whether or not its parent is shown.
    return control.handle != nullptr && (GetWindowLongW(control.handle, GWL_STYLE) & WS_VISIBLE);
}

void Win32Window::setVisible(std::string_view name, bool visible) {
    auto found = controls_.find(name);
    if (found == controls_.end() || gone_) {
        return;
    }
    Control& control = found->second;
    if (control.store) {
        control.store->visible = visible;
        if (visible) {
            makeStore(control);
        }
    } else if (control.handle != nullptr) {
        ShowWindow(control.handle, visible ? SW_SHOWNA : SW_HIDE);
    }
    if (visible) {
        makeStoresBelow(name);
    }
}

Text Win32Window::text(std::string_view editBox) const {
    const Control* control = find(editBox, Kind::EditBox);
    if (control == nullptr) {
        return {};
    }
    if (control->handle == nullptr || gone_) {
        return control->written;
    }
    // What the program wrote, byte for byte, until the host changes the box;
    // then what the box shows.
    const std::wstring shown = windowText(control->handle);
    return shown == control->shownForWritten ? control->written : gbkOf(shown);
}

void Win32Window::setText(std::string_view editBox, const Text& text) {
    Control* control = find(editBox, Kind::EditBox);
    if (control == nullptr) {
        return;
    }
    control->written = text;
    if (control->handle != nullptr && !gone_) {
        showEditText(*control);
    }
}

void Win32Window::appendText(std::string_view editBox, const Text& text) {
    Control* control = find(editBox, Kind::EditBox);
    if (control == nullptr) {
        return;
    }
    setText(editBox, this->text(editBox) + text);
    if (control->handle != nullptr && !gone_) {
        const int end = GetWindowTextLengthW(control->handle);
        SendMessageW(control->handle, EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageW(control->handle, EM_SCROLLCARET, 0, 0);
    }
}

Text Win32Window::caption(std::string_view name) const {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return {};
    }
    const Kind kind = found->second.kind;
    const bool hasCaption = kind == Kind::ImageButton || kind == Kind::TransparentLabel ||
                            kind == Kind::Label || kind == Kind::GroupBox;
    return hasCaption ? found->second.caption : Text();
}

void Win32Window::setCaption(std::string_view name, const Text& caption) {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return;
    }
    Control& control = found->second;
    const std::wstring shown = wideOf(caption);
    switch (control.kind) {
        case Kind::ImageButton:
            control.caption = caption;
            if (!gone_) {
                setButtonCaption(control.handle, shown);
            }
            break;
        case Kind::TransparentLabel:
            control.caption = caption;
            if (!gone_) {
                setLabelCaption(control.handle, shown);
            }
            break;
        case Kind::Label:
        case Kind::GroupBox:
            control.caption = caption;
            if (!gone_) {
                SetWindowTextW(control.handle, shown.c_str());
            }
            break;
        default:
            break;
    }
}

int Win32Window::interval(std::string_view timer) const {
    const Control* control = find(timer, Kind::Timer);
    return control ? control->intervalMs : 0;
}

void Win32Window::setInterval(std::string_view timer, int intervalMs) {
    Control* control = find(timer, Kind::Timer);
    if (control == nullptr) {
        return;
    }
    control->intervalMs = intervalMs;
    if (gone_ || closing_) {
        return;
    }
    if (intervalMs <= 0) {
        KillTimer(window_, control->timerId);
    } else {
        SetTimer(window_, control->timerId,
                 static_cast<UINT>(std::max(intervalMs, kMinimumTimerMs)), nullptr);
    }
}

int Win32Window::position(std::string_view progressBar) const {
    const Control* control = find(progressBar, Kind::ProgressBar);
    if (control == nullptr || gone_) {
        return 0;
    }
    return static_cast<int>(SendMessageW(control->handle, PBM_GETPOS, 0, 0));
}

void Win32Window::setPosition(std::string_view progressBar, int position) {
    if (Control* control = find(progressBar, Kind::ProgressBar); control != nullptr && !gone_) {
        SendMessageW(control->handle, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, 100)),
                     0);
    }
}

Text Win32Window::fileName(std::string_view dialog) const {
    const Control* control = find(dialog, Kind::OpenFileDialog);
    return control ? control->fileName : Text();
}

void Win32Window::setFileName(std::string_view dialog, const Text& fileName) {
    if (Control* control = find(dialog, Kind::OpenFileDialog)) {
        control->fileName = fileName;
    }
}

bool Win32Window::openFileDialog(std::string_view dialog) {
    Control* control = find(dialog, Kind::OpenFileDialog);
    if (control == nullptr || gone_) {
        return false;
    }
    std::wstring file(32768, L'\0');
    const std::wstring initial = wideOf(control->fileName);
    std::copy_n(initial.begin(), std::min(initial.size(), file.size() - 1), file.begin());
    OPENFILENAMEW options{};
    options.lStructSize = sizeof(options);
    options.hwndOwner = window_;
    options.lpstrFile = file.data();
    options.nMaxFile = static_cast<DWORD>(file.size());
    options.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT |
                    OFN_EXPLORER | OFN_NOCHANGEDIR;
    // The current folder stays the program's: the update builds the new
    // program's path from it. The dialog may move it all the same (the flag
    // above does not bind an open dialog), so it is put back.
    std::wstring current(MAX_PATH, L'\0');
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    if (length >= current.size()) {
        current.resize(length);
        length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    }
    current.resize(length);
    const BOOL chosen = GetOpenFileNameW(&options);
    if (!current.empty()) {
        SetCurrentDirectoryW(current.c_str());
    }
    if (!chosen) {
        return false;
    }
    control = find(dialog, Kind::OpenFileDialog);  // the window may have changed meanwhile
    if (control == nullptr) {
        return false;
    }
    control->fileName = gbkOf(std::wstring(file.c_str()));
    return true;
}

int Win32Window::left() const {
    RECT outer{};
    GetWindowRect(window_, &outer);
    return outer.left;
}

int Win32Window::top() const {
    RECT outer{};
    GetWindowRect(window_, &outer);
    return outer.top;
}

void Win32Window::move(int left, int top) {
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::resize(int width, int height) {
    // The client area takes the size; the frame goes around it.
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A larger window may bring a store into view.
    for (auto& [name, control] : controls_) {
        if (control.store) {
            makeStore(control);
        }
    }
}

Text Win32Window::statusText(std::string_view statusBar, int part) const {
    const Control* control = find(statusBar, Kind::StatusBar);
    if (control == nullptr || part < 0 ||
        static_cast<size_t>(part) >= control->statusTexts.size()) {
        return {};
    }
    return control->statusTexts[static_cast<size_t>(part)];
}

void Win32Window::setStatusText(std::string_view statusBar, int part, const Text& text) {
    Control* control = find(statusBar, Kind::StatusBar);
    if (control == nullptr || part < 0 ||
        static_cast<size_t>(part) >= control->statusTexts.size()) {
        return;
    }
    control->statusTexts[static_cast<size_t>(part)] = text;
    if (!gone_) {
        SendMessageW(control->handle, SB_SETTEXTW, static_cast<WPARAM>(part),
                     reinterpret_cast<LPARAM>(wideOf(text).c_str()));
    }
}

void Win32Window::raiseNotification(std::string_view label, std::int32_t first,
                                    std::int32_t second) {
    if (find(label, Kind::Label) != nullptr) {
        dispatch(
            {.kind = EventKind::Notification, .control = label, .first = first, .second = second});
    }
}

void Win32Window::close() {
    if (gone_ || closing_) {
        return;
    }
    closingByProgram_ = true;
    SendMessageW(window_, WM_CLOSE, 0, 0);
    closingByProgram_ = false;
}

Forms& Win32Window::forms() {
    return forms_;
}

}  // namespace lumivox::win32
