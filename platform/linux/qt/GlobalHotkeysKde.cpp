#include "platform/linux/qt/GlobalHotkeysKde.hpp"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QKeySequence>
#include <QList>
#include <QVariant>

namespace lumivox::platform {
namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kComponent = QStringLiteral("lumivox");
// The component's object: its name with every character but [A-Za-z0-9_] as '_'.
const QString kComponentPath = QStringLiteral("/component/lumivox");
// setShortcut flags: the action is present, and the keys given are the ones wanted
// (not the ones the desktop remembers from an earlier run).
constexpr uint kSetPresent = 2, kNoAutoloading = 4;
constexpr int kCallTimeoutMs = 3000;

QDBusMessage call(const QString& method, const QList<QVariant>& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

}  // namespace

bool KdeGlobalHotkeys::available() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus != nullptr && bus->isServiceRegistered(kService).value();
}

int KdeGlobalHotkeys::qtKeyCode(unsigned modifierFlags, int virtualKey) {
    int key = 0;
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {  // VK_F1..VK_F24
        key = Qt::Key_F1 + (virtualKey - 0x70);
    } else if ((virtualKey >= '0' && virtualKey <= '9') ||
               (virtualKey >= 'A' && virtualKey <= 'Z')) {
        key = virtualKey;  // the same codes in both tables
    } else {
        return 0;
    }
    if (modifierFlags & kHotkeyShift) {
        key |= Qt::ShiftModifier;
    }
    if (modifierFlags & kHotkeyControl) {
        key |= Qt::ControlModifier;
    }
    if (modifierFlags & kHotkeyAlt) {
        key |= Qt::AltModifier;
    }
    if (modifierFlags & kHotkeyWin) {
        key |= Qt::MetaModifier;
    }
    return key;
}

QStringList KdeGlobalHotkeys::actionId(const QString& action) const {
    // Component, action, and the names the desktop's settings show for them.
    return {kComponent, action, QStringLiteral("Lumivox"), QStringLiteral("Lumivox ") + action};
}

bool KdeGlobalHotkeys::registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) {
    const int key = qtKeyCode(modifierFlags, virtualKey);
    if (key == 0 || actions_.count(identifier) != 0) {
        return false;
    }
    const QString action = QKeySequence(key).toString(QKeySequence::PortableText);
    for (const auto& [id, held] : actions_) {
        if (held == action) {
            return false;  // this program holds it already
        }
    }
    const QStringList id = actionId(action);
    if (call(QStringLiteral("doRegister"), {id}).type() == QDBusMessage::ErrorMessage) {
        return false;
    }
    const QDBusReply<QList<int>> granted =
        call(QStringLiteral("setShortcut"),
             {id, QVariant::fromValue(QList<int>{key}), uint(kSetPresent | kNoAutoloading)});
    // The service answers with the keys it gave the action: without ours, another
    // component holds the key.
    if (!granted.isValid() || !granted.value().contains(key)) {
        forget(action);
        return false;
    }
    actions_[identifier] = action;
    return true;
}

void KdeGlobalHotkeys::forget(const QString& action) {
    // Unregistered, not just emptied: the key is free for the host to bind
    // "lumivox --phrase N" to it in the desktop's settings.
    call(QStringLiteral("unregister"), {kComponent, action});
}

bool KdeGlobalHotkeys::unregisterHotkey(int identifier) {
    auto found = actions_.find(identifier);
    if (found == actions_.end()) {
        return false;
    }
    forget(found->second);
    actions_.erase(found);
    return true;
}

bool KdeGlobalHotkeys::startListening(HotkeyListener listener) {
    if (!listening_) {
        listening_ = QDBusConnection::sessionBus().connect(
            kService, kComponentPath, kComponentInterface, QStringLiteral("globalShortcutPressed"),
            this, SLOT(onPressed(QString, QString, qlonglong)));
        if (!listening_) {
            return false;
        }
    }
    listener_ = std::move(listener);
    return true;
}

bool KdeGlobalHotkeys::stopListening() {
    if (!listening_) {
        return false;
    }
    QDBusConnection::sessionBus().disconnect(kService, kComponentPath, kComponentInterface,
                                             QStringLiteral("globalShortcutPressed"), this,
                                             SLOT(onPressed(QString, QString, qlonglong)));
    listening_ = false;
    listener_ = nullptr;
    return true;
}

void KdeGlobalHotkeys::onPressed(const QString& component, const QString& action, qlonglong) {
    if (component != kComponent || !listener_) {
        return;
    }
    for (const auto& [identifier, held] : actions_) {
        if (held == action) {
            HotkeyListener listener = listener_;  // the listener may unregister
            listener(identifier);
            return;
        }
    }
}

}  // namespace lumivox::platform
