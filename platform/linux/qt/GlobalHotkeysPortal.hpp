#pragma once
// Hotkeys through the desktop portal's GlobalShortcuts service, for Wayland
// desktops that offer it. The wanted keys go to the portal in one session: KDE
// Plasma 5.27 takes them when the session is made; later desktops when they are
// bound, and may ask the host once to confirm new ones. Presses come back as the
// session's Activated signal. On the GUI thread, over a private bus connection
// whose socket the Qt event loop watches: the GUI thread never waits for the
// portal (a desktop may take a minute to ask the host). The keys asked for count
// as held at once; the desktop's answer, when it comes, leaves those it gave.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/PortalBus.hpp"

class QSocketNotifier;
class QTimer;

namespace lumivox::platform {

class PortalGlobalHotkeys final : public QObject, public GlobalHotkeys {
    Q_OBJECT

  public:
    // Whether the session's portal offers GlobalShortcuts (asks the portal,
    // which the bus may have to start).
    static bool available();

    PortalGlobalHotkeys();
    ~PortalGlobalHotkeys() override;

    std::vector<bool> registerHotkeys(const std::vector<HotkeyRequest>& requests) override;
    bool registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) override;
    bool unregisterHotkey(int identifier) override;
    bool startListening(HotkeyListener listener) override;
    bool stopListening() override;

  private slots:
    void readBus();

  private:
    // A new session for exactly the wanted hotkeys, asked for without waiting;
    // they are held from now on, and once the desktop has answered only those it
    // gave a key combination stay held.
    void bind(std::map<int, std::string> wanted);
    // The desktop's answers: the session made (with the shortcuts already bound
    // by KDE 5.27), then the shortcuts bound (later desktops).
    void sessionMade(unsigned attempt, DBusMessage* created);
    void shortcutsBound(unsigned attempt, DBusMessage* bound);
    void keepGiven(const std::optional<std::map<std::string, std::string>>& given);
    // Reads the bus again when the earliest pending request gives up.
    void watchDeadline();
    void closeSession();
    void onSignal(DBusMessage* message);

    PortalBus bus_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> deadline_;
    unsigned attempt_ = 0;                 // the bind whose answers count
    std::map<int, std::string> binding_;   // what that bind asked for
    std::string session_;                 // the session's object path, empty when none
    std::map<int, std::string> held_;     // identifier -> trigger
    HotkeyListener listener_;
};

}  // namespace lumivox::platform
