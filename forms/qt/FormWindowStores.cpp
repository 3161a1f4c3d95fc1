// Text stores: the edit boxes that nothing shows when their window is made
// (hidden themselves or inside a hidden control, or outside the window). Most of
// the main window's controls are such stores, and a widget for each would be
// most of the start-up time; a store's text lives in its control record instead,
// and its widget is made, in its layout place, stacking and Tab order, as soon as
// a call shows it, shows a control it lies in, or asks for its widget.
#include "forms/qt/Controls.hpp"
#include "forms/qt/FormWindow.hpp"

namespace lumivox {

namespace {

// An edit box of which the window shows no more than this edge shows only its
// frame's border, never any text (the update stores at the window's bottom edge).
constexpr int kEditFramePx = 2;

}  // namespace

bool FormWindow::showsNothing(const layout::Control& spec, QWidget* parent) const {
    if (!spec.visible || (parent != this && !parent->isVisibleTo(this))) {
        return true;
    }
    const QRect area(spec.left, spec.top, spec.width, spec.height);
    const QRect inParent = parent->rect() & area;
    const QRect shown = rect() & QRect(parent->mapTo(this, inParent.topLeft()), inParent.size());
    return shown.width() <= kEditFramePx || shown.height() <= kEditFramePx;
}

QWidget* FormWindow::widgetOf(const Control& control) const {
    if (control.widget == nullptr && control.store) {
        // Making the widget changes nothing a caller can see but the widget itself.
        const_cast<FormWindow*>(this)->makeStoreWidget(const_cast<Control&>(control));
    }
    return control.widget;
}

void FormWindow::makeStoreWidget(Control& control) {
    const layout::Control spec = *control.store;
    QWidget* parent = spec.parent.empty() ? this : widgetOf(controls_.find(spec.parent)->second);
    QWidget* box = makeEditBox(spec, parent, control.storedText);
    place(box, spec);
    control.widget = box;
    control.store.reset();
    control.storedText.clear();
    // Below the sibling made after it, and after the widget made before it in
    // the Tab order, as if it had been made with the others.
    const Control* nextSibling = nullptr;
    const Control* previous = nullptr;
    for (const auto& [name, other] : controls_) {
        if (other.widget == nullptr || &other == &control) {
            continue;
        }
        if (other.order > control.order && other.widget->parentWidget() == parent &&
            (nextSibling == nullptr || other.order < nextSibling->order)) {
            nextSibling = &other;
        }
        if (other.order < control.order && (previous == nullptr || other.order > previous->order)) {
            previous = &other;
        }
    }
    if (nextSibling != nullptr) {
        box->stackUnder(nextSibling->widget);
    }
    if (previous != nullptr) {
        QWidget::setTabOrder(previous->widget, box);
    }
}

void FormWindow::makeStoreWidgetsBelow(std::string_view name) {
    const auto parentOf = [this](std::string_view control) {
        auto found = controls_.find(control);
        return found == controls_.end() ? std::string_view()
                                        : std::string_view(found->second.parent);
    };
    for (auto& [storeName, control] : controls_) {
        if (control.widget == nullptr && control.store &&
            layout::liesWithin(control.parent, name, parentOf)) {
            makeStoreWidget(control);
        }
    }
}

void FormWindow::makeEveryStoreWidget() {
    for (auto& [name, control] : controls_) {
        widgetOf(control);
    }
}

QWidget* FormWindow::controlWidget(std::string_view name) const {
    auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : widgetOf(found->second);
}

bool FormWindow::visible(std::string_view name) const {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return false;
    }
    const Control& control = found->second;
    if (control.store) {
        return control.store->visible;
    }
    // The control's own setting, whether or not its parent is shown.
    return control.widget != nullptr && !control.widget->isHidden();
}

void FormWindow::setVisible(std::string_view name, bool visible) {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return;
    }
    Control& control = found->second;
    if (control.store) {
        control.store->visible = visible;
        if (visible) {
            makeStoreWidget(control);
        }
    } else if (control.widget != nullptr) {
        control.widget->setVisible(visible);
    }
    if (visible) {
        makeStoreWidgetsBelow(name);
    }
}

Text FormWindow::text(std::string_view editBox) const {
    const Control* control = find(editBox, layout::Kind::EditBox);
    if (control == nullptr) {
        return {};
    }
    return control->store ? control->storedText : editBoxOf(control->widget)->text();
}

void FormWindow::setText(std::string_view editBox, const Text& text) {
    if (Control* control = find(editBox, layout::Kind::EditBox)) {
        if (control->store) {
            control->storedText = text;
        } else {
            editBoxOf(control->widget)->setText(text);
        }
    }
}

void FormWindow::appendText(std::string_view editBox, const Text& text) {
    if (Control* control = find(editBox, layout::Kind::EditBox)) {
        if (control->store) {
            control->storedText += text;
        } else {
            editBoxOf(control->widget)->appendText(text);
        }
    }
}

}  // namespace lumivox
