#pragma once
// What a window built from a layout does whatever toolkit draws it: controls by
// layout name and kind, text stores (edit boxes without a widget until shown),
// the texts and values the program wrote read back as written, timers, event
// dispatch through the wiring, closing and dialog mode, the Esc rule. A form
// runtime derives from it and supplies the toolkit's part through the hooks
// below; a control's widget is known to the runtime by the control's creation
// order. All on the GUI thread.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/Event.hpp"
#include "forms/Layout.hpp"
#include "forms/Window.hpp"

namespace lumivox {

// The platform minimum of a timer period (USER_TIMER_MINIMUM).
inline constexpr int kMinimumTimerMs = 10;

class FormCore : public Window {
  public:
    FormCore(Forms& forms, const layout::WindowLayout& layout, const std::vector<Binding>& wiring);
    ~FormCore() override;
    FormCore(const FormCore&) = delete;
    FormCore& operator=(const FormCore&) = delete;

    const layout::WindowLayout& layout() const { return layout_; }
    // Closing: the close went ahead (the window may still exist). Gone: its
    // toolkit window is destroyed.
    bool closing() const { return closing_; }
    bool gone() const { return gone_; }

    // Runs the handler bound to that event, if any.
    void dispatch(Event event);

    // Dialog mode: these windows are disabled while this one is open and get
    // back the state they had when it closes (or when they go first, they are
    // forgotten).
    void disableOthersWhileOpen(const std::vector<FormCore*>& others);

    // Esc pressed on any control of the window: closes it when its layout says
    // so, no Ctrl, Shift or Alt is held and no dialog has disabled it. True
    // when it closed.
    bool escapePressed(bool modifierHeld);

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
    void resize(int width, int height) override;
    Text statusText(std::string_view statusBar, int part) const override;
    void setStatusText(std::string_view statusBar, int part, const Text& text) override;
    void setPicturePixels(std::string_view pictureBox, int width, int height,
                          const std::vector<std::uint32_t>& pixels) override;
    void raiseNotification(std::string_view label, std::int32_t first,
                           std::int32_t second) override;
    void close() override;
    std::string_view layoutName() const override { return layout_.name; }
    Forms& forms() override { return forms_; }

  protected:
    // The widgets made before and after a store's, by creation order (-1: none),
    // so that its widget takes the stacking and Tab order it would have had.
    struct Neighbours {
        int previousSibling = -1;  // same parent
        int nextSibling = -1;      // same parent
        int previous = -1;         // any parent
    };

    // Makes every control of the layout, in table order; false when the layout
    // cannot be built (a parent not laid out before its child, a duplicate name,
    // a control the toolkit cannot make).
    bool buildControls();
    // The creation order of a control that has a widget, or -1. With
    // `makeStore` a store gets its widget first.
    int widgetOrder(std::string_view name, bool makeStore) const;
    // The creation order of a control of that kind, or -1.
    int orderOf(std::string_view name, layout::Kind kind) const;
    // The toolkit asks to close the window: false while a dialog keeps it
    // disabled, unless the program itself closes it. Otherwise its timers stop,
    // the windows its dialog mode disabled get their state back, and true.
    bool acceptClose();
    // The timer made `order`-th has fired.
    void timerFired(int order);
    // The toolkit window is destroyed.
    void windowGone();

    // ---- the toolkit's part ----
    // Makes the widget of a control that is not a store (or, for a timer,
    // whatever its ticks need; nothing for an open-file dialog: that is not
    // asked). Its parent's widget exists. False when it cannot be made.
    virtual bool makeNative(const layout::Control& spec, int order) = 0;
    // Makes the widget of a store that is shown or asked for, empty.
    virtual bool makeNativeStore(const layout::Control& spec, int order,
                                 const Neighbours& neighbours) = 0;
    // The widget's own visibility setting.
    virtual bool nativeShown(int order) const = 0;
    virtual void showNative(int order, bool shown) = 0;
    virtual void showCaption(int order, layout::Kind kind, const Text& caption) = 0;
    // Edit boxes: shows a text the program wrote; what the host made of it
    // (nothing while the box shows the text as written); the caret to the end.
    virtual void showEditText(int order, const Text& text) = 0;
    virtual std::optional<Text> hostEditText(int order) const = 0;
    virtual void scrollEditToEnd(int order) = 0;
    virtual void startControlTimer(int order, int periodMs) = 0;
    virtual void stopControlTimer(int order) = 0;
    virtual void showPosition(int order, int position) = 0;
    virtual void showStatusText(int order, int part, const Text& text) = 0;
    // A picture box's pixels (its size and 0x00RRGGBB rows), in place of its picture.
    virtual void showPixels(int order, int width, int height,
                            const std::vector<std::uint32_t>& pixels) = 0;
    // Runs the open-file dialog; the chosen path, or nothing.
    virtual std::optional<Text> chooseFile(std::string_view dialog, const Text& initial) = 0;
    virtual void resizeClient(int width, int height) = 0;
    // Starts the toolkit's close, which comes back through acceptClose.
    virtual void requestClose() = 0;
    virtual bool formEnabled() const = 0;
    virtual void enableForm(bool enabled) = 0;

  private:
    struct Control {
        layout::Control spec;  // visible: a store's setting
        int order = 0;
        bool widget = false;  // has a widget (timers and dialogs never do)
        // An edit box that nothing shows when the window is made (hidden, inside
        // a hidden control, or outside the window) is a store: no widget until a
        // call shows it or a control it lies in, or asks for its widget.
        bool store = false;
        Text written = {};   // edit boxes: as the program wrote it
        Text caption = {};   // as written, read back byte for byte
        int intervalMs = 0;  // as set, before the platform minimum
        int position = 0;
        Text fileName = {};
        std::vector<Text> statusTexts = {};
    };
    const Control* find(std::string_view name) const;
    Control* find(std::string_view name);
    const Control* find(std::string_view name, layout::Kind kind) const;
    Control* find(std::string_view name, layout::Kind kind);
    bool addControl(const layout::Control& spec);
    bool showsNothing(const layout::Control& spec) const;
    void makeStore(Control& control);
    void makeStoresBelow(std::string_view name);
    void giveBackOthers();

    Forms& forms_;
    const layout::WindowLayout& layout_;
    const std::vector<Binding>& wiring_;
    std::map<std::string, Control, std::less<>> controls_;
    std::vector<std::string_view> names_;  // by creation order
    int clientWidth_, clientHeight_;
    bool closing_ = false;
    bool closingByProgram_ = false;  // inside close(): the program's own close
    bool gone_ = false;
    std::vector<std::pair<FormCore*, bool>> disabledOthers_;  // with their former state
    std::vector<FormCore*> disabledBy_;                       // dialogs holding this one
};

}  // namespace lumivox

// Declares the toolkit's part of the form core in a runtime's window class: the
// same list in every runtime (what each does is in its own files).
#define LUMIVOX_FORM_TOOLKIT_PART                                                              \
    bool makeNative(const layout::Control& spec, int order) override;                          \
    bool makeNativeStore(const layout::Control& spec, int order, const Neighbours& neighbours) \
        override;                                                                              \
    bool nativeShown(int order) const override;                                                \
    void showNative(int order, bool shown) override;                                           \
    void showCaption(int order, layout::Kind kind, const Text& caption) override;              \
    void showEditText(int order, const Text& text) override;                                   \
    std::optional<Text> hostEditText(int order) const override;                                \
    void scrollEditToEnd(int order) override;                                                  \
    void startControlTimer(int order, int periodMs) override;                                  \
    void stopControlTimer(int order) override;                                                 \
    void showPosition(int order, int position) override;                                       \
    void showStatusText(int order, int part, const Text& text) override;                       \
    void showPixels(int order, int width, int height, const std::vector<std::uint32_t>& pixels) \
        override;                                                                              \
    std::optional<Text> chooseFile(std::string_view dialog, const Text& initial) override;     \
    void resizeClient(int width, int height) override;                                         \
    void requestClose() override;                                                              \
    bool formEnabled() const override;                                                         \
    void enableForm(bool enabled) override;
