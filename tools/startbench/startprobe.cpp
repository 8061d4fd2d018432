// The program as main() starts it, reporting when its main window is first
// painted. Settings go to a store that points the CA certificate at --ca, so
// start-up shows no warning box.

#include "tools/startbench/FirstPaint.h"
#include "ui/app/Program.h"
#include "ui/services/DRVPEventLogger.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char** argv)
{
    Program::prepareEnvironment();
    QApplication app(argc, argv);
    const int ca = QCoreApplication::arguments().indexOf(QStringLiteral("--ca"));
    if (ca < 0 || ca + 1 >= QCoreApplication::arguments().size()) {
        std::fprintf(stderr, "startprobe: --ca FILE is needed\n");
        return 2;
    }
    {
        QSettings store(QStringLiteral("ВОРНТЕХ"), QStringLiteral("Дравек Про"));
        store.setValue(QStringLiteral("CertCA"), QCoreApplication::arguments().at(ca + 1));
    }
    int result = 1;
    {
        Program program(eventLogger);
        eventLogger = nullptr;
        FirstPaint paint(&program.mainWindow());
        if (program.start())
            result = app.exec();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
