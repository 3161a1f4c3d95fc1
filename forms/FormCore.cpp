#include "forms/FormCore.hpp"

#include <algorithm>

#include "base/Encoding.hpp"

namespace lumivox {
namespace {

using layout::Kind;

bool isEditBox(Kind kind) {
    return kind == Kind::EditBox || kind == Kind::MultiLineEditBox;
}

bool hasCaption(Kind kind) {
    return kind == Kind::ImageButton || kind == Kind::TransparentLabel || kind == Kind::Label ||
           kind == Kind::GroupBox;
}

// An edit box of which the window shows no more than this edge shows only its
// frame's border, never any text (the update stores at the window's bottom edge).
constexpr int kEditFramePx = 2;

struct Area {
    int left, top, right, bottom;
    Area cut(const Area& other) const {
        return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom)};
    }
};

}  // namespace

FormCore::FormCore(Forms& forms, const layout::WindowLayout& layout,
                   const std::vector<Binding>& wiring)
    : forms_(forms),
      layout_(layout),
      wiring_(wiring),
      clientWidth_(layout.clientWidth),
      clientHeight_(layout.clientHeight) {}

FormCore::~FormCore() {
    windowGone();
}

bool FormCore::buildControls() {
    for (const layout::Control& spec : layout::expandControls(layout_)) {
        if (!addControl(spec)) {
            return false;
        }
    }
    return true;
}

bool FormCore::addControl(const layout::Control& spec) {
    if (!spec.parent.empty() && widgetOrder(spec.parent, true) < 0) {
        return false;
    }
    const int order = static_cast<int>(names_.size());
    auto [entry, added] = controls_.emplace(spec.name, Control{.spec = spec, .order = order});
    if (!added) {
        return false;
    }
    names_.push_back(entry->first);
    Control& control = entry->second;
    if (hasCaption(spec.kind)) {
        control.caption = utf8ToGbk(spec.caption);
    }
    if (isEditBox(spec.kind)) {
        control.written = utf8ToGbk(spec.caption);
        control.store = showsNothing(spec);
    }
    if (spec.kind == Kind::StatusBar) {
        control.statusTexts.assign(static_cast<size_t>(std::max(spec.parts, 1)), Text());
    }
    if (!control.store && spec.kind != Kind::OpenFileDialog) {
        if (!makeNative(spec, order)) {
            return false;
        }
        control.widget = spec.kind != Kind::Timer;
    }
    if (isEditBox(spec.kind) && control.widget) {
        showEditText(order, control.written);
    }
    if (spec.kind == Kind::Timer && spec.interval > 0) {
        setInterval(spec.name, spec.interval);  // a running timer starts at its creation
    }
    return true;
}

bool FormCore::showsNothing(const layout::Control& spec) const {
    // Shown only when it and every control it lies in are, each inside its
    // parent, and the window shows more than a frame's edge of it.
    if (!spec.visible) {
        return true;
    }
    Area area{spec.left, spec.top, spec.left + spec.width, spec.top + spec.height};
    for (std::string_view up = spec.parent; !up.empty();) {
        const Control* parent = find(up);
        if (parent == nullptr || !parent->widget || !nativeShown(parent->order)) {
            return true;
        }
        const layout::Control& place = parent->spec;
        area = area.cut({0, 0, place.width, place.height});
        area = {area.left + place.left, area.top + place.top, area.right + place.left,
                area.bottom + place.top};
        up = place.parent;
    }
    area = area.cut({0, 0, clientWidth_, clientHeight_});
    return area.right - area.left <= kEditFramePx || area.bottom - area.top <= kEditFramePx;
}

void FormCore::makeStore(Control& control) {
    if (!control.store) {
        return;
    }
    Neighbours neighbours;
    for (const auto& [name, other] : controls_) {
        if (!other.widget || other.order == control.order) {
            continue;
        }
        const bool sibling = other.spec.parent == control.spec.parent;
        if (other.order < control.order) {
            neighbours.previous = std::max(neighbours.previous, other.order);
            if (sibling) {
                neighbours.previousSibling = std::max(neighbours.previousSibling, other.order);
            }
        } else if (sibling &&
                   (neighbours.nextSibling < 0 || other.order < neighbours.nextSibling)) {
            neighbours.nextSibling = other.order;
        }
    }
    if (!makeNativeStore(control.spec, control.order, neighbours)) {
        return;
    }
    control.store = false;
    control.widget = true;
    showEditText(control.order, control.written);
}

void FormCore::makeStoresBelow(std::string_view name) {
    const auto parentOf = [this](std::string_view control) {
        const Control* found = find(control);
        return found == nullptr ? std::string_view() : std::string_view(found->spec.parent);
    };
    for (auto& [storeName, control] : controls_) {
        if (control.store && layout::liesWithin(control.spec.parent, name, parentOf)) {
            makeStore(control);
        }
    }
}

int FormCore::widgetOrder(std::string_view name, bool makeStore) const {
    auto found = controls_.find(name);
    if (found == controls_.end() || gone_) {
        return -1;
    }
    if (makeStore && found->second.store) {
        // Making the widget changes nothing a caller can see but the widget itself.
        const_cast<FormCore*>(this)->makeStore(const_cast<Control&>(found->second));
    }
    return found->second.widget ? found->second.order : -1;
}

int FormCore::orderOf(std::string_view name, Kind kind) const {
    const Control* control = find(name, kind);
    return control != nullptr ? control->order : -1;
}

const FormCore::Control* FormCore::find(std::string_view name) const {
    auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : &found->second;
}

FormCore::Control* FormCore::find(std::string_view name) {
    return const_cast<Control*>(std::as_const(*this).find(name));
}

const FormCore::Control* FormCore::find(std::string_view name, Kind kind) const {
    const Control* control = find(name);
    if (control == nullptr) {
        return nullptr;
    }
    const Kind have = control->spec.kind;
    return have == kind || (isEditBox(kind) && isEditBox(have)) ? control : nullptr;
}

FormCore::Control* FormCore::find(std::string_view name, Kind kind) {
    return const_cast<Control*>(std::as_const(*this).find(name, kind));
}

void FormCore::dispatch(Event event) {
    const Binding* binding =
        findBinding(wiring_, layout_.name, event.control, event.kind, &event.number);
    if (binding != nullptr && binding->handler) {
        // The runtime keeps the window object alive while its handler runs:
        // closing it only schedules its end.
        binding->handler(*this, event);
    }
}

void FormCore::timerFired(int order) {
    if (closing_ || order < 0 || static_cast<size_t>(order) >= names_.size()) {
        return;
    }
    const std::string name(names_[static_cast<size_t>(order)]);
    if (find(name, Kind::Timer) != nullptr) {
        dispatch({.kind = EventKind::Tick, .control = name});
    }
}

bool FormCore::hasControl(std::string_view name) const {
    return find(name) != nullptr;
}

bool FormCore::visible(std::string_view name) const {
    const Control* control = find(name);
    if (control == nullptr) {
        return false;
    }
    if (control->store) {
        return control->spec.visible;
    }
    // The control's own setting, whether or not its parent is shown.
    return control->widget && !gone_ && nativeShown(control->order);
}

void FormCore::setVisible(std::string_view name, bool visible) {
    Control* control = find(name);
    if (control == nullptr || gone_) {
        return;
    }
    if (control->store) {
        control->spec.visible = visible;
        if (visible) {
            makeStore(*control);
        }
    } else if (control->widget) {
        showNative(control->order, visible);
    }
    if (visible) {
        makeStoresBelow(name);
    }
}

Text FormCore::text(std::string_view editBox) const {
    const Control* control = find(editBox, Kind::EditBox);
    if (control == nullptr) {
        return {};
    }
    if (!control->widget || gone_) {
        return control->written;
    }
    // What the program wrote, byte for byte, until the host changes the box;
    // then what the box shows.
    std::optional<Text> typed = hostEditText(control->order);
    return typed ? *std::move(typed) : control->written;
}

void FormCore::setText(std::string_view editBox, const Text& text) {
    Control* control = find(editBox, Kind::EditBox);
    if (control == nullptr) {
        return;
    }
    control->written = text;
    if (control->widget && !gone_) {
        showEditText(control->order, text);
    }
}

void FormCore::appendText(std::string_view editBox, const Text& text) {
    Control* control = find(editBox, Kind::EditBox);
    if (control == nullptr) {
        return;
    }
    setText(editBox, this->text(editBox) + text);
    if (control->widget && !gone_) {
        scrollEditToEnd(control->order);
    }
}

Text FormCore::caption(std::string_view name) const {
    const Control* control = find(name);
    return control != nullptr ? control->caption : Text();
}

void FormCore::setCaption(std::string_view name, const Text& caption) {
    Control* control = find(name);
    if (control == nullptr || !hasCaption(control->spec.kind)) {
        return;
    }
    control->caption = caption;
    if (control->widget && !gone_) {
        showCaption(control->order, control->spec.kind, caption);
    }
}

int FormCore::interval(std::string_view timer) const {
    const Control* control = find(timer, Kind::Timer);
    return control ? control->intervalMs : 0;
}

void FormCore::setInterval(std::string_view timer, int intervalMs) {
    Control* control = find(timer, Kind::Timer);
    if (control == nullptr) {
        return;
    }
    control->intervalMs = intervalMs;
    if (gone_ || closing_) {
        return;  // a closed window's timers stay stopped
    }
    if (intervalMs <= 0) {
        stopControlTimer(control->order);
    } else {
        startControlTimer(control->order, std::max(intervalMs, kMinimumTimerMs));
    }
}

int FormCore::position(std::string_view progressBar) const {
    const Control* control = find(progressBar, Kind::ProgressBar);
    return control != nullptr && !gone_ ? control->position : 0;
}

void FormCore::setPosition(std::string_view progressBar, int position) {
    Control* control = find(progressBar, Kind::ProgressBar);
    if (control == nullptr || gone_) {
        return;
    }
    control->position = std::clamp(position, 0, 100);
    showPosition(control->order, control->position);
}

Text FormCore::fileName(std::string_view dialog) const {
    const Control* control = find(dialog, Kind::OpenFileDialog);
    return control ? control->fileName : Text();
}

void FormCore::setFileName(std::string_view dialog, const Text& fileName) {
    if (Control* control = find(dialog, Kind::OpenFileDialog)) {
        control->fileName = fileName;
    }
}

bool FormCore::openFileDialog(std::string_view dialog) {
    const Control* control = find(dialog, Kind::OpenFileDialog);
    if (control == nullptr || gone_) {
        return false;
    }
    std::optional<Text> chosen = chooseFile(dialog, control->fileName);
    Control* after = find(dialog, Kind::OpenFileDialog);  // the window may have changed meanwhile
    if (!chosen || after == nullptr) {
        return false;
    }
    after->fileName = *std::move(chosen);
    return true;
}

void FormCore::resize(int width, int height) {
    if (gone_) {
        return;
    }
    clientWidth_ = width;
    clientHeight_ = height;
    resizeClient(width, height);
    // A larger window may bring a store into view.
    for (auto& [name, control] : controls_) {
        makeStore(control);
    }
}

Text FormCore::statusText(std::string_view statusBar, int part) const {
    const Control* control = find(statusBar, Kind::StatusBar);
    if (control == nullptr || part < 0 ||
        static_cast<size_t>(part) >= control->statusTexts.size()) {
        return {};
    }
    return control->statusTexts[static_cast<size_t>(part)];
}

void FormCore::setStatusText(std::string_view statusBar, int part, const Text& text) {
    Control* control = find(statusBar, Kind::StatusBar);
    if (control == nullptr || part < 0 ||
        static_cast<size_t>(part) >= control->statusTexts.size()) {
        return;
    }
    control->statusTexts[static_cast<size_t>(part)] = text;
    if (!gone_) {
        showStatusText(control->order, part, text);
    }
}

void FormCore::setPicturePixels(std::string_view pictureBox, int width, int height,
                                const std::vector<std::uint32_t>& pixels) {
    const Control* control = find(pictureBox, Kind::PictureBox);
    if (control == nullptr || !control->widget || gone_ || width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return;
    }
    showPixels(control->order, width, height, pixels);
}

void FormCore::raiseNotification(std::string_view label, std::int32_t first, std::int32_t second) {
    if (find(label, Kind::Label) != nullptr) {
        dispatch(
            {.kind = EventKind::Notification, .control = label, .first = first, .second = second});
    }
}

void FormCore::close() {
    if (gone_ || closing_) {
        return;
    }
    closingByProgram_ = true;
    requestClose();
    closingByProgram_ = false;
}

bool FormCore::acceptClose() {
    // A window that a dialog disabled may have a handler waiting in the
    // dialog's nested loop: only the program itself may close it, never the
    // host (close button, Alt+F4), or that handler would go on with a window
    // that is gone.
    if (!formEnabled() && !closingByProgram_) {
        return false;
    }
    // The close query has no handler: otherwise the close always goes ahead.
    closing_ = true;
    for (const auto& [name, control] : controls_) {
        if (control.spec.kind == Kind::Timer) {
            stopControlTimer(control.order);
        }
    }
    giveBackOthers();
    return true;
}

bool FormCore::escapePressed(bool modifierHeld) {
    if (modifierHeld || !layout_.escapeCloses || closing_ || !formEnabled()) {
        return false;
    }
    close();
    return true;
}

void FormCore::disableOthersWhileOpen(const std::vector<FormCore*>& others) {
    for (FormCore* other : others) {
        disabledOthers_.emplace_back(other, other->formEnabled());
        other->enableForm(false);
        other->disabledBy_.push_back(this);
    }
}

void FormCore::giveBackOthers() {
    for (auto& [other, enabled] : disabledOthers_) {
        std::erase(other->disabledBy_, this);
        other->enableForm(enabled);
    }
    disabledOthers_.clear();
}

void FormCore::windowGone() {
    closing_ = true;
    gone_ = true;
    giveBackOthers();
    for (FormCore* dialog : disabledBy_) {
        std::erase_if(dialog->disabledOthers_,
                      [this](const auto& held) { return held.first == this; });
    }
    disabledBy_.clear();
}

}  // namespace lumivox
