#include "ui/app/Program.h"

#include "readers/ClaimRunner.h"
#include "readers/DddFileWriter.h"
#include "ui/AppWiring.h"
#include "ui/app/CrossThreadTypes.h"
#include "ui/services/DRVPEventLogger.h"
#include "ui/services/drvpMessageBox.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QStyleFactory>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include <malloc.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString startFailure = QStringLiteral("Дравек Про не может быть запущен.");
const QString startFailureAdvice = QStringLiteral("Обратитесь в службу техподдержки.");
const QString workerStuck = QStringLiteral(
    "Операция с картой не завершилась за %1 с после отмены. Дравек Про закрывается, не дожидаясь её окончания.");
const QString claimStuck = QStringLiteral(
    "Служба смарт-карт не ответила на подключение к карте, которую держит другая программа. Дравек Про "
    "закрывается, не дожидаясь ответа.");

// A cancelled card operation stops at its next command, which waits at most
// 10 s for a card that another program keeps; the restore of a test value
// still runs after it, command by command.
constexpr int managerStopLimitMs = 60000;
// A claim ends at once unless pcscd holds its connect for another program.
constexpr int claimStopLimitMs = 2000;
// A clear-button fade lasts 160 ms.
constexpr int fadeLimitMs = 1000;

// The program whose event loop runs, for an exit() called inside it (Qt's
// X11 plugin calls exit(1) when the X server goes); null before and once
// shut-down has begun.
std::atomic<Program*> programAtExit{nullptr};

// A line edit fades its clear button in or out on an animation of no parent,
// which deletes itself once it has run to the end: one still running when
// the windows go never gets there, and is left over at exit.
bool clearButtonsFading()
{
    const QWidgetList widgets = QApplication::allWidgets();
    return std::any_of(widgets.cbegin(), widgets.cend(), [](const QWidget* widget) {
        const auto* edit = qobject_cast<const QLineEdit*>(widget->parentWidget());
        const QVariant opacity = widget->property("opacity");
        return edit && opacity.isValid() && opacity.toReal() != (edit->text().isEmpty() ? 0.0 : 1.0);
    });
}

} // namespace

void Program::prepareEnvironment()
{
    // The clock repaints the window every second; on X a repaint through
    // shared memory waits for the server each time, a plain image does not.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    // Freed small blocks are merged at once. glibc would otherwise keep them
    // in its fast bins and merge them all at the next larger allocation: after
    // a table of a hundred thousand rows is emptied, that took the window
    // more than a tenth of a second.
    mallopt(M_MXFAST, 0);
    // The process holds the decrypted client key and the codes typed in: no
    // core dump may carry them to disk.
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

Program::Program(DRVPEventLogger* logger)
    : logger(logger)
{
    registerCrossThreadTypes();
    manager.moveToThread(&readerManagerThread);
}

Program::~Program()
{
    shutDown();
    letFadesEnd();
}

bool Program::start()
{
    // First of all: a stop signal ends the run also while a box of start-up
    // waits for the user.
    const bool signalsTaken = stopSignals.install();
    connect(&stopSignals, &StopSignals::received, this, [this](int number) {
        endRun(QStringLiteral("Дравек Про завершает работу по сигналу SIG%1.")
                   .arg(QString::fromLatin1(sigabbrev_np(number))));
    });
    if (!wire())
        return false;
    setIdentity();
    logger->openLog();
    if (!signalsTaken)
        logger->on_logginMessage(1, QStringLiteral("Не удалось установить обработку сигналов завершения работы."));
    if (ending)
        return false;
    config.setDefaults();
    if (!wireLogging())
        return false;

    monitor.start(QThread::InheritPriority);
    splash.say(QStringLiteral("Загрузка и применение стиля..."));
    applyLook();

    splash.say(QStringLiteral("Загрузка и применение настроек..."));
    manager.setConfig(&config);
    manager.setDurableLog([logger = logger](uchar type, const QString& msg) { return logger->writeNow(type, msg); });
    readerManagerThread.start(QThread::InheritPriority);
    handOutPointers();
    config.load();
    // What a read killed while it wrote its file left behind.
    DddFileWriter::removeLeftovers(config.path(QStringLiteral("dddPath")));
    if (ending)
        return false;

    splash.say(QStringLiteral("Поиск картридеров..."));
    window.show();
    // Handles events until the window is on the screen.
    splash.finish(&window);
    if (ending)
        return false;
    window.updateClientStatus();

    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { endRun(QStringLiteral("Дравек Про завершает работу: сеанс пользователя завершается.")); });
    started = true;
    // As late as possible: glibc runs the handler before the destructors of
    // the static objects made before it, which the workers may still use.
    static const bool exitHandled = on_exit(&Program::endAtExit, nullptr) == 0;
    if (!exitHandled)
        logger->on_logginMessage(1,
                                 QStringLiteral("Не удалось установить обработку завершения работы по вызову exit()."));
    programAtExit = this;
    return true;
}

// As a close of the window, but work in progress is cancelled instead of
// refusing the close.
void Program::endRun(const QString& cause)
{
    if (ending)
        return;
    ending = true;
    logger->on_logginMessage(1, cause);
    if (!started) {
        // No operation has been asked for yet, and the shut-down that follows
        // stops the workers. Every event loop ends, a box's at once, and
        // start-up ends at its next look at `ending`.
        QCoreApplication::exit(0);
        return;
    }
    window.cancelWork();
    // Queued behind the manager's work, so it comes back once that work is
    // over, the restore of a diagnosis included, which no cancel stops.
    QMetaObject::invokeMethod(
        &manager,
        [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    window.cancelWork();
                    window.close();
                    QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

bool Program::wire()
{
    // A signal whose arguments cannot be queued would be dropped at run time
    // with nothing but a warning, so it stops start-up instead.
    QStringList unqueueable;
    for (const QMetaObject* meta : {&CardReaderAgent::staticMetaObject, &ReaderManager::staticMetaObject,
                                    &MainWindow::staticMetaObject, &ClientKVOBServer::staticMetaObject})
        unqueueable += unqueueableSignals(*meta);
    if (!unqueueable.isEmpty()) {
        failStart(QStringLiteral("Не зарегистрированы типы аргументов сигналов: %1")
                      .arg(unqueueable.join(QStringLiteral("; "))));
        return false;
    }

    if (!connectApplication(objects())
        || !connect(&config, &Config::warningMessage, this, &Program::showSettingsWarning)) {
        failStart(QStringLiteral("Не удалось связать объекты программы."));
        return false;
    }
    return true;
}

// After the log is open, so its opening line reaches the file only.
bool Program::wireLogging()
{
    if (!connectLogging(objects())) {
        failStart(QStringLiteral("Не удалось связать объекты программы с журналом событий."));
        return false;
    }
    return true;
}

AppObjects Program::objects()
{
    return {&monitor.agent(), &manager, &window, &client, &sender, &config, logger, &configDialog, &aboutBox};
}

void Program::setIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ВОРНТЕХ"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("https://vorntech.ru"));
    QCoreApplication::setApplicationName(QStringLiteral("Дравек Про"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.1.1.0"));
}

void Program::applyLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    palette.setBrush(QPalette::All, QPalette::Link, QBrush(QColor(46, 171, 226, 255), Qt::SolidPattern));

    QString sheet;
    styleFile.setFileName(styleSheetPath);
    if (styleFile.open(QIODevice::ReadOnly)) {
        QByteArray bytes = styleFile.readAll();
        const int end = bytes.indexOf('\0');
        if (end >= 0)
            bytes.truncate(end);
        sheet = QString::fromUtf8(bytes);
        styleFile.close();
    } else {
        logger->on_logginMessage(1, QStringLiteral("Не удалось прочитать файл стиля %1: %2")
                                        .arg(styleSheetPath, styleFile.errorString()));
    }
    QApplication::setPalette(palette);
    qApp->setStyleSheet(sheet);
}

void Program::handOutPointers()
{
    client.setConfig(&config);
    window.setConfig(&config);
    window.setReaderManager(&manager);
    window.setSender(&sender);
    configDialog.config = &config;
    aboutBox.config = &config;
}

void Program::showSettingsWarning(const QString& text, const QString& informativeText)
{
    if (ending)
        return;
    drvpMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(text);
    box.setInformativeText(informativeText);
    box.exec();
}

void Program::failStart(const QString& detail)
{
    error = detail;
    logger->on_logginMessage(2, QStringLiteral("%1 %2").arg(startFailure, detail));
    splash.close();
    drvpMessageBox box;
    box.setIcon(QMessageBox::Critical);
    box.setText(startFailure);
    box.setInformativeText(startFailureAdvice);
    box.setDetailedText(detail);
    box.exec();
}

void Program::shutDown(int status)
{
    if (stopped)
        return;
    stopped = true;
    // An exit() from here on finds nothing to stop.
    Program* self = this;
    programAtExit.compare_exchange_strong(self, nullptr);
    // A run whose card operation would not stop has not ended as asked.
    stopWorkers(EXIT_FAILURE, status);
    closeLog();
}

// Runs inside exit(), in whatever thread called it. The static objects made
// after the handler's registration are gone already; those made before it,
// Qt's and the logger's among them, are still there.
void Program::endAtExit(int status, void* /*unused*/)
{
    Program* program = programAtExit.exchange(nullptr);
    // From a worker thread, the wait below would wait for itself.
    if (!program || QThread::currentThread() != program->thread())
        return;
    program->stopped = true;
    // The window is never shown again, and what it draws with may be gone.
    QObject::disconnect(program->logger, nullptr, &program->window, nullptr);
    program->stopWorkers(status, status);
    program->closeLog();
}

void Program::stopWorkers(int statusIfOperationStuck, int statusIfClaimStuck)
{
    // The running card operation stops at its next command, and neither
    // thread may log into a logger that is gone. Nothing here waits for the
    // GUI thread, which may be inside exit(): the workers only queue to it.
    manager.on_InterruptAllOperation();
    // A cancel that lands just before the monitor's wait begins is lost, so
    // it is repeated until the thread has ended.
    monitor.agent().stop();
    while (!monitor.wait(200))
        monitor.agent().stop();
    readerManagerThread.quit();
    if (!readerManagerThread.wait(managerStopLimitMs)) {
        QCoreApplication::sendPostedEvents(logger, QEvent::MetaCall);
        logger->on_logginMessage(2, workerStuck.arg(managerStopLimitMs / 1000));
        // Closed but kept: the worker may still write through it.
        logger->closeLog();
        _exit(statusIfOperationStuck);
    }
    // Their holds belong to the manager, which has stopped. pcsc-lite's own
    // clean-up at exit must not run under a claim still inside it.
    if (!ClaimRunner::stopAll(claimStopLimitMs)) {
        QCoreApplication::sendPostedEvents(logger, QEvent::MetaCall);
        logger->on_logginMessage(1, claimStuck);
        logger->closeLog();
        _exit(statusIfClaimStuck);
    }
}

void Program::closeLog()
{
    if (!logger)
        return;
    // Lines the workers queued before they stopped still go before the
    // closing line.
    QCoreApplication::sendPostedEvents(logger, QEvent::MetaCall);
    logger->closeLog();
    delete logger;
    logger = nullptr;
}

// After the workers have stopped, so that only the windows' own events come.
void Program::letFadesEnd()
{
    QElapsedTimer waited;
    waited.start();
    while (clearButtonsFading() && waited.elapsed() < fadeLimitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(10);
    }
}
