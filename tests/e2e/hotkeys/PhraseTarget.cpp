// A second X11 application for the hotkey tests: one multi-line text box that
// has the keyboard focus. Its text is written whole to <folder>/text.txt (UTF-8,
// to a temporary file that is renamed) after changes, each change is noted in
// <folder>/changes.log as "<monotonic ns> <bytes>", and every key press that reaches
// the box is noted in <folder>/keys.log by its key name. With a second argument
// "chat" it is a chat box: Enter sends the text (appended to <folder>/messages.log
// as "<monotonic ns> <text, backslash and line feed escaped>", nothing for an
// empty box) and clears it.
#include <time.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QSaveFile>

namespace {

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void append(const QString& path, const QByteArray& line) {
    QFile file(path);
    if (file.open(QIODevice::Append)) {
        file.write(line);
    }
}

class KeyLog : public QObject {
  public:
    explicit KeyLog(QString path) : path_(std::move(path)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            QKeySequence sequence(key->modifiers() | key->key());
            append(path_, sequence.toString().toUtf8() + "\n");
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QString path_;
};

// Enter sends the box's text as a chat message instead of starting a line.
class ChatEnter : public QObject {
  public:
    ChatEnter(QPlainTextEdit& box, QString path) : box_(box), path_(std::move(path)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !(key->modifiers() & Qt::ShiftModifier)) {
                QString text = box_.toPlainText();
                if (!text.trimmed().isEmpty()) {
                    text.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
                    text.replace(QStringLiteral("\n"), QStringLiteral("\\n"));
                    append(path_, QByteArray::number(monotonicNs()) + " " + text.toUtf8() + "\n");
                }
                box_.clear();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QPlainTextEdit& box_;
    QString path_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QPlainTextEdit box;
    box.setWindowTitle(QStringLiteral("PhraseTarget"));
    box.resize(400, 300);
    KeyLog keys(folder + "/keys.log");
    box.installEventFilter(&keys);
    ChatEnter chat(box, folder + "/messages.log");
    if (argc > 2 && QByteArray(argv[2]) == "chat") {
        box.installEventFilter(&chat);
    }
    // The text file is written once per turn of the event loop, so that a burst of
    // typed keys costs the target little more than the log line of each change.
    bool writeQueued = false;
    auto writeText = [&] {
        writeQueued = false;
        QSaveFile file(folder + "/text.txt");
        file.setDirectWriteFallback(false);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(box.toPlainText().toUtf8());
            file.commit();
        }
    };
    QObject::connect(&box, &QPlainTextEdit::textChanged, [&] {
        append(folder + "/changes.log", QByteArray::number(monotonicNs()) + " " +
                                            QByteArray::number(box.toPlainText().toUtf8().size()) +
                                            "\n");
        if (!writeQueued) {
            writeQueued = true;
            QMetaObject::invokeMethod(&box, writeText, Qt::QueuedConnection);
        }
    });
    box.show();
    box.activateWindow();
    box.setFocus();
    return app.exec();
}
