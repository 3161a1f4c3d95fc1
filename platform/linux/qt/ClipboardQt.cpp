#include <QClipboard>
#include <QGuiApplication>

#include "platform/Clipboard.hpp"

namespace lumivox::platform {

bool setClipboardText(const std::string& utf8) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return false;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return false;
    }
    clipboard->setText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())),
                       QClipboard::Clipboard);
    return true;
}

}  // namespace lumivox::platform
