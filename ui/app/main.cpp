#include "ui/app/Program.h"
#include "ui/services/DRVPEventLogger.h"

#include <QApplication>

int main(int argc, char** argv)
{
    Program::prepareEnvironment();
    QApplication app(argc, argv);
    int result = 1;
    {
        Program program(eventLogger);
        // The program deletes the logger at shut-down.
        eventLogger = nullptr;
        result = program.start() ? app.exec() : program.startExitCode();
        program.shutDown(result);
    }
    // Objects the windows left for deletion (their animations) go before the
    // application object does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
