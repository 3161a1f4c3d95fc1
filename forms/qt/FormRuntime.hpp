#pragma once
// The program's windows: opens them from their layouts (one window per layout),
// runs dialog-mode windows in a nested loop with the others disabled, and
// closes a window whose layout says so when Esc is pressed on any of its
// controls. One per process, on the GUI thread.
#include <functional>
#include <string_view>
#include <vector>

#include <QObject>

#include "forms/Event.hpp"
#include "forms/Layout.hpp"
#include "forms/Window.hpp"

namespace lumivox {

class FormWindow;

// The application-wide look, once the application object exists: the default
// GUI font (its CJK face also stands in for the layouts' faces where the machine
// lacks them) and the program's icon for every window without one of its own.
void setUpApplicationLook();

class FormRuntime : public QObject, public Forms {
    Q_OBJECT
  public:
    // `findLayout` names the layouts it can open and `wiring` binds their events
    // (the program's, or a test's).
    explicit FormRuntime(std::function<const layout::WindowLayout*(std::string_view)> findLayout,
                         const std::vector<Binding>& wiring);

    const std::vector<Binding>& wiring() const { return wiring_; }
    ~FormRuntime() override;

    Window* openWindow(std::string_view layout) override;
    bool loadWindow(std::string_view layout, Window* parent, bool dialogMode) override;
    FormWindow* openForm(std::string_view layout) const;

    // Called by a window as it is destroyed.
    void forget(FormWindow* window);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<const layout::WindowLayout*(std::string_view)> findLayout_;
    const std::vector<Binding>& wiring_;
    // Every window alive, closed ones waiting for destruction included.
    std::vector<FormWindow*> windows_;
};

}  // namespace lumivox
