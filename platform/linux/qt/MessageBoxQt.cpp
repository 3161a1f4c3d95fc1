#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "platform/MessageBox.hpp"

namespace lumivox::platform {
namespace {

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int result;  // the Windows result for this button
};

// The buttons of each Windows button set, in their order on the box.
std::vector<ButtonChoice> buttonsFor(unsigned set) {
    switch (set) {
        case 1:
            return {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
        case 2:
            return {{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
        case 3:
            return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}};
        case 4:
            return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}};
        case 5:
            return {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}};
        case 6:
            return {{QMessageBox::Cancel, 2}, {QMessageBox::Retry, 10}, {QMessageBox::Ignore, 11}};
        default:
            return {{QMessageBox::Ok, 1}};
    }
}

QMessageBox::Icon iconFor(unsigned iconBits) {
    switch (iconBits) {
        case 0x10:
            return QMessageBox::Critical;
        case 0x20:
            return QMessageBox::Question;
        case 0x30:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

int showMessageBox(const std::string& utf8Message, unsigned style, const std::string& utf8Caption) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return 0;
    }
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(utf8Caption));
    // The program's messages are plain text: one that looks like markup (a file
    // name, a server's reply) is shown as written, never rendered.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(utf8Message));
    box.setIcon(iconFor(style & 0xF0));
    // Task modal and system modal both block every window of the program.
    box.setWindowModality(Qt::ApplicationModal);
    if (style & 0x1000) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    const std::vector<ButtonChoice> choices = buttonsFor(style & 0x0F);
    std::vector<QAbstractButton*> buttons;
    for (const ButtonChoice& choice : choices) {
        buttons.push_back(box.addButton(choice.button));
    }
    const size_t defaultIndex = (style & 0xF00) >> 8;
    box.setDefaultButton(
        static_cast<QPushButton*>(buttons[defaultIndex < buttons.size() ? defaultIndex : 0]));
    // Esc and the close button mean Cancel where there is one, OK on an OK-only box.
    for (size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].result == 2 || choices.size() == 1) {
            box.setEscapeButton(buttons[i]);
        }
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (size_t i = 0; i < choices.size(); ++i) {
        if (buttons[i] == clicked) {
            return choices[i].result;
        }
    }
    return 2;  // closed without a button: as Cancel
}

}  // namespace lumivox::platform
