#pragma once
// A window built from a layout: one QWidget per control, reached by layout name
// through the neutral Window interface, with each control event dispatched to
// the handler the event wiring binds.
#include <map>
#include <optional>
#include <string>

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "forms/Event.hpp"
#include "forms/Layout.hpp"
#include "forms/Window.hpp"

namespace lumivox {

class FormRuntime;

class FormWindow : public QWidget, public Window {
    Q_OBJECT
  public:
    FormWindow(FormRuntime& runtime, const layout::WindowLayout& layout);
    ~FormWindow() override;

    // Creates every control; false when the layout cannot be built (a parent
    // that is not laid out before its child, a picture that does not decode).
    bool build();

    // The widget of a control (null for timers, dialogs and unknown names).
    QWidget* controlWidget(std::string_view name) const;
    QTimer* controlTimer(std::string_view name) const;
    const layout::WindowLayout& layout() const { return layout_; }
    // Runs the handler bound to that event, if any.
    void dispatch(Event event);
    bool closing() const { return closing_; }

    // Window
    bool hasControl(std::string_view name) const override;
    bool visible(std::string_view name) const override;
    void setVisible(std::string_view name, bool visible) override;
    Text text(std::string_view editBox) const override;
    void setText(std::string_view editBox, const Text& text) override;
    void appendText(std::string_view editBox, const Text& text) override;
    Text caption(std::string_view name) const override;
    void setCaption(std::string_view name, const Text& caption) override;
    int interval(std::string_view timer) const override;
    void setInterval(std::string_view timer, int intervalMs) override;
    int position(std::string_view progressBar) const override;
    void setPosition(std::string_view progressBar, int position) override;
    Text fileName(std::string_view dialog) const override;
    void setFileName(std::string_view dialog, const Text& fileName) override;
    bool openFileDialog(std::string_view dialog) override;
    int left() const override;
    int top() const override;
    void move(int left, int top) override;
    void resize(int width, int height) override;
    Text statusText(std::string_view statusBar, int part) const override;
    void setStatusText(std::string_view statusBar, int part, const Text& text) override;
    void raiseNotification(std::string_view label, std::int32_t first,
                           std::int32_t second) override;
    void close() override;
    std::string_view layoutName() const override { return layout_.name; }
    Forms& forms() override;

    using QWidget::setVisible;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Control {
        layout::Kind kind;
        std::string parent;  // its parent control's name; empty: the window
        int order = 0;       // creation order, kept by widgets made later
        QWidget* widget = nullptr;
        QTimer* timer = nullptr;
        int intervalMs = 0;  // as set, before the platform minimum
        Text fileName = {};  // open-file dialogs
        // An edit box that nothing shows (hidden, or outside the window) is a
        // text store: it gets no widget until a call shows it or asks for its
        // widget, and until then its layout and its text live here.
        std::optional<layout::Control> store = {};
        Text storedText = {};
    };
    const Control* find(std::string_view name, layout::Kind kind) const;
    Control* find(std::string_view name, layout::Kind kind);
    bool makeControl(const layout::Control& spec);
    void place(QWidget* widget, const layout::Control& spec) const;
    // Text stores (FormWindowStores.cpp).
    bool showsNothing(const layout::Control& spec, QWidget* parent) const;
    QWidget* widgetOf(const Control& control) const;
    void makeStoreWidget(Control& control);
    void makeStoreWidgetsBelow(std::string_view name);
    void makeEveryStoreWidget();
    QWidget* makeEditBox(const layout::Control& spec, QWidget* parent, const Text& text);

    FormRuntime& runtime_;
    const layout::WindowLayout& layout_;
    std::map<std::string, Control, std::less<>> controls_;
    int made_ = 0;  // controls made so far
    bool closing_ = false;
    bool closingByProgram_ = false;  // inside close(): the program's own close
};

// The platform minimum of a timer period.
inline constexpr int kMinimumTimerMs = 10;

}  // namespace lumivox
