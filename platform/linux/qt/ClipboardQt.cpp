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
    // The program's line break is CR LF; X11 text breaks lines with LF alone, and
    // a CR pasted into a text box makes a second, empty line.
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    clipboard->setText(text, QClipboard::Clipboard);
    return true;
}

}  // namespace lumivox::platform
