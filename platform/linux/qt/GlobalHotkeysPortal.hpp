#pragma once
// Hotkeys through the desktop portal's GlobalShortcuts service, for Wayland
// desktops that offer it. The wanted keys go to the portal in one session: KDE
// Plasma 5.27 takes them when the session is made; later desktops when they are
// bound, and may ask the host once to confirm new ones. Presses come back as the
// session's Activated signal. On the GUI thread, over a private bus connection
// whose socket the Qt event loop watches.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/PortalBus.hpp"

class QSocketNotifier;

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
    // A new session that holds exactly the wanted hotkeys; those the desktop gave
    // a key combination become the held ones.
    void bind(std::map<int, std::string> wanted);
    // The triggers the desktop describes for the session's shortcuts; nothing
    // when the session could not be made or bound.
    std::optional<std::map<std::string, std::string>> openSession(
        const std::vector<std::string>& triggers);
    void closeSession();
    void onSignal(DBusMessage* message);

    PortalBus bus_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string session_;                 // the session's object path, empty when none
    std::map<int, std::string> held_;     // identifier -> trigger
    HotkeyListener listener_;
};

}  // namespace lumivox::platform
