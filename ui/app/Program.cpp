#include "ui/app/Program.h"

#include "ui/AppWiring.h"
#include "ui/app/CrossThreadTypes.h"
#include "ui/services/DRVPEventLogger.h"
#include "ui/services/drvpMessageBox.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleFactory>

#include <malloc.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

const QString startFailure = QStringLiteral("Дравек Про не может быть запущен.");
const QString startFailureAdvice = QStringLiteral("Обратитесь в службу техподдержки.");

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
}

bool Program::start()
{
    if (!wire())
        return false;
    setIdentity();
    logger->openLog();
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

    splash.say(QStringLiteral("Поиск картридеров..."));
    window.show();
    splash.finish(&window);
    window.updateClientStatus();

    // Taken over last: before the window shows, no card work can be cut
    // short, and the default end does no harm.
    if (!stopSignals.install())
        logger->on_logginMessage(1, QStringLiteral("Не удалось установить обработку сигналов завершения работы."));
    connect(&stopSignals, &StopSignals::received, this, [this](int number) {
        endRun(QStringLiteral("Дравек Про завершает работу по сигналу SIG%1.")
                   .arg(QString::fromLatin1(sigabbrev_np(number))));
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { endRun(QStringLiteral("Дравек Про завершает работу: сеанс пользователя завершается.")); });
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

void Program::shutDown()
{
    if (stopped)
        return;
    stopped = true;
    // The workers first: the running card operation stops at its next
    // command, and neither thread may log into a logger that is gone.
    manager.on_InterruptAllOperation();
    // A cancel that lands just before the monitor's wait begins is lost, so
    // it is repeated until the thread has ended.
    monitor.agent().stop();
    while (!monitor.wait(200))
        monitor.agent().stop();
    readerManagerThread.quit();
    readerManagerThread.wait();

    if (logger) {
        // Lines the workers queued before they stopped still go before the
        // closing line.
        QCoreApplication::sendPostedEvents(logger, QEvent::MetaCall);
        logger->closeLog();
        delete logger;
        logger = nullptr;
    }
}
