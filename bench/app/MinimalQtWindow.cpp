// The peer of the start-up benchmark: an empty Qt 6 window of the main window's
// size and title, shown the same way.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("LumivoxV1.0"));
    window.setFixedSize(637, 593);
    window.show();
    return QApplication::exec();
}
