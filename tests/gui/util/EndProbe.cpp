// Ends itself through endProgram, from the GUI thread or from a worker, with
// a program-end routine that records where it ran: the end-to-end check of the
// program's ending path.
#include <QApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <thread>

#include "util/ProgramEnd.hpp"
#include "util/TextUtil.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string marker = argv[2];
    lumivox::addProgramEndRoutine([marker] {
        if (FILE* f = std::fopen(marker.c_str(), "w")) {
            std::fputs(QThread::currentThread() == qApp->thread() ? "gui" : "other", f);
            std::fclose(f);
        }
    });
    std::thread worker;
    if (std::strcmp(argv[1], "worker") == 0) {
        worker = std::thread([] { lumivox::endProgram(7); });
    } else {
        QTimer::singleShot(0, [] { lumivox::endProgram(5); });
    }
    app.exec();
    return 99;  // never reached: endProgram does not return
}
