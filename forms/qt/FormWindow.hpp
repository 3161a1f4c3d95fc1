#pragma once
// A window built from a layout on Qt: one QWidget per control (a store's once
// it is shown), a QTimer per timer. What the controls hold and when events run
// is the form core's; this is the Qt part of it.
#include <string_view>
#include <vector>

#include <QTimer>
#include <QWidget>

#include "forms/FormCore.hpp"

namespace lumivox {

class FormRuntime;

class FormWindow : public QWidget, public FormCore {
    Q_OBJECT
  public:
    FormWindow(FormRuntime& runtime, const layout::WindowLayout& layout);
    ~FormWindow() override;

    // Creates every control; false when the layout cannot be built (a parent
    // that is not laid out before its child, a picture that does not decode).
    bool build() { return buildControls(); }

    // The widget of a control, a store's made now (null for timers, dialogs and
    // unknown names).
    QWidget* controlWidget(std::string_view name) const;
    QTimer* controlTimer(std::string_view name) const;

    // Window (the rest is the core's)
    int left() const override;
    int top() const override;
    void move(int left, int top) override;

    // The core's names before QWidget's.
    using FormCore::close;
    using FormCore::layout;
    using FormCore::resize;
    using FormCore::setVisible;
    using QWidget::setVisible;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    LUMIVOX_FORM_TOOLKIT_PART

    QWidget* parentOf(const layout::Control& spec) const;
    QWidget* makeWidget(const layout::Control& spec, QWidget* parent);
    void keep(int order, QWidget* widget, const layout::Control& spec);

    FormRuntime& runtime_;
    std::vector<QWidget*> widgets_;  // by creation order; null: none (yet)
    std::vector<QTimer*> timers_;
};

}  // namespace lumivox
