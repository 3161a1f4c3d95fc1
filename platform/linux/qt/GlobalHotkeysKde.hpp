#pragma once
// Hotkeys through KDE Plasma's global shortcut service (kglobalaccel on the
// session D-Bus): on a Plasma Wayland session the only way a program hears a key
// while another window has the focus. Each hotkey is one action of the
// "lumivox" component, named after its key ("F3"), so the host finds it in the
// desktop's shortcut settings; a key another component holds is refused.
#include <QObject>
#include <QString>
#include <QStringList>
#include <map>

#include "platform/GlobalHotkeys.hpp"

namespace lumivox::platform {

class KdeGlobalHotkeys final : public QObject, public GlobalHotkeys {
    Q_OBJECT
  public:
    // Whether the session bus carries the service.
    static bool available();

    bool registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) override;
    bool unregisterHotkey(int identifier) override;
    bool startListening(HotkeyListener listener) override;
    bool stopListening() override;

    // The Qt key code (key | modifiers) of a virtual key with MOD_ flags; 0 for a
    // key this route does not name (kglobalaccel speaks Qt key codes).
    static int qtKeyCode(unsigned modifierFlags, int virtualKey);

  private slots:
    void onPressed(const QString& component, const QString& action, qlonglong timestamp);

  private:
    QStringList actionId(const QString& action) const;
    void forget(const QString& action);

    std::map<int, QString> actions_;  // identifier -> action name
    HotkeyListener listener_;
    bool listening_ = false;
};

}  // namespace lumivox::platform
