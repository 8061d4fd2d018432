#include "tools/stallbench/WindowBench.h"

#include "config/Config.h"
#include "tests/app/ProgramDriver.h"
#include "tests/support/StallWatch.h"
#include "tools/stallbench/SlowSync.h"
#include "ui/MainWindow.h"
#include "ui/services/DRVPEventLogger.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

constexpr int stepMs = 600000;
// A stretch ends a while after the window showed its outcome, so that what
// follows the showing counts too.
constexpr int settleMs = 1000;
constexpr int pauseMs = 400;
constexpr int syncDelayMs = 200;
constexpr int syncedLogMs = 10000;
constexpr int guiLineEveryMs = 50;

} // namespace

WindowBench::WindowBench(MainWindow& window, Config& settings, StallWatch& stalls)
    : window(window)
    , settings(settings)
    , stalls(stalls)
{
    QObject::connect(&window, &MainWindow::makeCommand, &stalls, [this] {
        asked.start();
        this->stalls.restart();
    });
}

bool WindowBench::statusRound(const QString& what, quint16 port, bool startedByProgram)
{
    settings.unblockServer[QStringLiteral("Port")] = QString::number(port);
    if (!startedByProgram && !ProgramDriver::click(&window, QStringLiteral("RefreshStatusBtn")))
        return fail(QStringLiteral("the status button could not be clicked"));
    // The button comes back once the answer is shown, or has failed.
    const auto* button = window.findChild<QAbstractButton*>(QStringLiteral("RefreshStatusBtn"));
    if (!await([button] { return button->isEnabled(); }, what))
        return false;
    record(what, asked.elapsed());
    return true;
}

bool WindowBench::afterwards(const QString& what)
{
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("LastAUBTbl"));
    stalls.restart();
    const QSize size = window.size();
    for (const int width : {size.width() - 300, size.width()}) {
        window.resize(width, size.height());
        settle(pauseMs);
    }
    for (int i = 0; i < 2; ++i) {
        window.update();
        settle(pauseMs);
    }
    table->scrollToBottom();
    settle(pauseMs);
    table->scrollToTop();
    settle(pauseMs);
    figures << Figures{what, 0, stalls.longestMs()};
    return true;
}

bool WindowBench::uploadRound(const QString& what, const QString& file)
{
    using namespace ProgramDriver;
    QWidget* root = &window;
    if (!click(root, QStringLiteral("UploadBtn")) || !type(root, QStringLiteral("LKFileEdt"), file)
        || !click(root, QStringLiteral("KvarnolRBtn")) || !type(root, QStringLiteral("LKPassWordEdt"), "secret"))
        return fail(QStringLiteral("the upload page would not take the file and the login"));
    asked.start();
    stalls.restart();
    if (!click(root, QStringLiteral("LKSendBtn")))
        return fail(QStringLiteral("the send button could not be clicked"));
    const auto* label = window.findChild<QLabel*>(QStringLiteral("LKReadingProgressLbl"));
    const QString sent = QStringLiteral("Файл успешно отправлен ...");
    if (!await([&] { return label->text() == sent || label->text().contains(QStringLiteral("Ошибка")); }, what))
        return false;
    if (label->text() != sent)
        return fail(QStringLiteral("the upload ended with \"%1\"").arg(label->text()));
    record(what, asked.elapsed());
    return click(root, QStringLiteral("CancelBtn")) || fail(QStringLiteral("the upload page would not close"));
}

bool WindowBench::syncedLogRound(const QString& what, DRVPEventLogger& logger)
{
    const SlowSync slowDisk(syncDelayMs);
    std::atomic<bool> stop{false};
    int synced = 0;
    int refused = 0;
    std::thread worker([&] {
        while (!stop) {
            if (logger.writeNow(0, QStringLiteral("Перед записью на карту: строка %1").arg(synced + refused + 1)))
                ++synced;
            else
                ++refused;
        }
    });
    int logged = 0;
    QTimer lines;
    QObject::connect(&lines, &QTimer::timeout, &logger,
                     [&] { logger.on_logginMessage(0, QStringLiteral("Чтение карты: строка %1").arg(++logged)); });
    lines.start(guiLineEveryMs);
    stalls.restart();
    settle(syncedLogMs);
    const double longest = stalls.longestMs();
    lines.stop();
    stop = true;
    // Waits for the last sync, after the stretch.
    worker.join();
    if (refused > 0)
        return fail(QStringLiteral("the log refused %1 of %2 synced lines").arg(refused).arg(synced + refused));
    figures << Figures{QStringLiteral("%1: %2 synced, %3 from the GUI").arg(what).arg(synced).arg(logged), 0, longest};
    return true;
}

void WindowBench::record(const QString& what, qint64 ms)
{
    settle(settleMs);
    figures << Figures{what, ms, stalls.longestMs()};
}

bool WindowBench::await(const std::function<bool()>& condition, const QString& what)
{
    return turnLoopUntil(condition, stepMs) || fail(QStringLiteral("waited in vain for %1").arg(what));
}

void WindowBench::settle(int ms)
{
    QDeadlineTimer deadline(ms);
    await([&deadline] { return deadline.hasExpired(); }, QString());
}

bool WindowBench::fail(const QString& what)
{
    why = what;
    return false;
}
