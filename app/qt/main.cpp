// Lumivox: the GUI thread's start-up, message loop and shut-down.
#include <QApplication>

#include "app/EventWiring.hpp"
#include "app/RemoteActions.hpp"
#include "app/RemotePanel.hpp"
#include "app/UpdateHandOver.hpp"
#include "app/Startup.hpp"
#include "base/ProgramEnd.hpp"
#include "hotkeys/HotkeyPhrases.hpp"
#include "forms/Layout.hpp"
#include "forms/qt/FormRuntime.hpp"
#include "platform/GuiThread.hpp"

int main(int argc, char** argv) {
    // `lumivox --phrase N` and the like: handed to the running copy, no GUI here.
    if (const std::optional<int> handed = lumivox::runCommandLineAction(argc, argv)) {
        return *handed;
    }
    QApplication app(argc, argv);
    lumivox::setUpApplicationLook();
    int exitCode = 0;
    {
        lumivox::FormRuntime runtime(lumivox::layout::findProgramLayout, lumivox::eventWiring());
        exitCode = lumivox::startProgram(runtime, lumivox::layout::kMainWindow);
        if (exitCode == 0) {
            // Actions from outside (a desktop's shortcut running `lumivox --phrase 3`).
            lumivox::listenForRemoteActionsWhenFree(runtime, lumivox::layout::kMainWindow);
            lumivox::handOverToUpdates(
                runtime, lumivox::layout::kMainWindow,
                [] { lumivox::stopListeningForRemoteActions(); },
                [&runtime] {
                    lumivox::listenForRemoteActions(runtime, lumivox::layout::kMainWindow);
                });
            // The phone and stream-deck panel, when lumivox.ini switches it on.
            lumivox::applyRemoteSettingsWhenFree(runtime, lumivox::layout::kMainWindow);
            // Ends with 0 once the last window has closed (close button, Esc).
            exitCode = QApplication::exec();
            // A desktop's shortcut service (KDE's) keeps the keys of a program
            // that ended without letting go of them: they are given back here.
            lumivox::hotkeyPhraseSender().letGoOfHotkeys();
            lumivox::stopListeningForRemoteActions();
        }
    }
    // The update's download task and the sound service end here; a worker they
    // join gets no more GUI work (there may have been no loop at all).
    lumivox::platform::endGuiThreadCalls();
    lumivox::endRemotePanel();
    lumivox::runProgramEndRoutines();
    return exitCode;
}
