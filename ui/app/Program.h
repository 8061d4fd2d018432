#pragma once

#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "net/Sender.h"
#include "readers/CRAController.h"
#include "readers/ReaderManager.h"
#include "ui/AboutWindow.h"
#include "ui/ConfigWindow.h"
#include "ui/MainWindow.h"
#include "ui/app/StartSplash.h"
#include "ui/app/StopSignals.h"

#include <QFile>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QThread>

class DRVPEventLogger;
struct AppObjects;

// The whole program between the application object and its event loop: the
// top-level objects in the order start-up makes them (the members below,
// destroyed in reverse), the wiring between them, start-up and shut-down.
// main() and the whole-program tests run this same code.
class Program : public QObject
{
    Q_OBJECT

public:
    // Takes the logger over: shut-down closes and deletes it.
    explicit Program(DRVPEventLogger* logger);
    ~Program() override;

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Settings of the platform layer, and no core dumps; called before the
    // application object is made.
    static void prepareEnvironment();

    // Everything up to the first status request. False when the caller must
    // not enter the event loop: the program cannot run as built (a connection
    // or a signal type that failed; the user has then been told), or a stop
    // signal ended start-up.
    bool start();
    // What main() returns after a start that gave false: 1 when start-up
    // failed, 0 when a stop signal ended it.
    int startExitCode() const { return error.isEmpty() ? 0 : 1; }
    // Interrupts the card operation, stops both worker threads and the
    // threads that claim cards, then writes the log's closing line and
    // deletes the logger. Safe to call twice. A claim that pcscd holds for
    // another program cannot be ended: the process then ends at once, with
    // `status`, rather than return from main with that thread inside
    // pcsc-lite.
    void shutDown(int status = 0);

    // The style sheet start-up applies; tests point it elsewhere.
    QString styleSheetPath = QStringLiteral(":/qss/style.qss");

    StartSplash& splashScreen() { return splash; }
    MainWindow& mainWindow() { return window; }
    ConfigWindow& configWindow() { return configDialog; }
    AboutWindow& aboutWindow() { return aboutBox; }
    ReaderManager& readerManager() { return manager; }
    Config& settings() { return config; }
    const QString& startError() const { return error; }

private:
    AppObjects objects();
    bool wire();
    bool wireLogging();
    void setIdentity();
    void applyLook();
    void handOutPointers();
    void showSettingsWarning(const QString& text, const QString& informativeText);
    void failStart(const QString& detail);
    // A signal or the end of the desktop session: the card operation is
    // cancelled, its restore let run, then the window closes and the event
    // loop ends with 0. During start-up, every box of it closes at once and
    // start-up ends at its next step.
    void endRun(const QString& cause);
    // What every end of a run does first, shut-down and an exit() inside the
    // event loop alike. A card operation that does not stop within a generous
    // limit ends the process with _exit(statusIfOperationStuck) after the
    // log's closing line: no destructor may run under a live worker. A claim
    // that pcscd still holds ends it with _exit(statusIfClaimStuck).
    void stopWorkers(int statusIfOperationStuck, int statusIfClaimStuck);
    // Lines the workers queued before they stopped, then the closing line.
    void closeLog();
    // Lets the line edits' clear-button fades run to their end, boundedly.
    void letFadesEnd();
    // Registered with on_exit() at the end of start-up, for the program whose
    // event loop runs.
    static void endAtExit(int status, void* unused);

    StartSplash splash;
    QFile styleFile;
    ClientKVOBServer client;
    ReaderManager manager;
    MainWindow window;
    Config config;
    ConfigWindow configDialog;
    AboutWindow aboutBox;
    QPalette palette;
    CRAController monitor;
    Sender sender;
    // Stopped by shut-down before the manager that lives in it is destroyed.
    QThread readerManagerThread;

    StopSignals stopSignals;

    DRVPEventLogger* logger = nullptr;
    QString error;
    bool started = false;
    bool stopped = false;
    bool ending = false;
};
