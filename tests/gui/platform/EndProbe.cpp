// Ends itself through endProgram, from the GUI thread or from a worker, or by
// its message loop returning, with a program-end routine that records where it
// ran and then joins a worker that only now asks the GUI thread for a message
// box and the clipboard: the end-to-end check of the program's ending paths.
#include <QApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

#include "base/ProgramEnd.hpp"
#include "platform/SystemOps.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string marker = argv[2];
    const bool afterLoop = std::strcmp(argv[1], "loop") == 0;
    std::promise<void> go;
    std::thread late([started = go.get_future(), afterLoop]() mutable {
        started.wait();
        lumivox::showMessageBox("late", lumivox::kMessageBoxOk);
        lumivox::setClipboardText("late");
        if (afterLoop) {
            lumivox::endProgram(9);
        }
    });
    lumivox::addProgramEndRoutine([marker, &go, &late] {
        if (FILE* f = std::fopen(marker.c_str(), "w")) {
            std::fputs(QThread::currentThread() == qApp->thread() ? "gui" : "other", f);
            std::fclose(f);
        }
        go.set_value();
        late.join();
    });
    std::thread worker;
    if (std::strcmp(argv[1], "worker") == 0) {
        worker = std::thread([] { lumivox::endProgram(7); });
    } else if (afterLoop) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    } else {
        QTimer::singleShot(0, [] { lumivox::endProgram(5); });
    }
    app.exec();
    lumivox::runProgramEndRoutines();
    return 99;  // never reached: endProgram does not return
}
