// Benchmark of the main window's responsiveness (not a test; run
// tools/stallbench/run): the program as main() starts it asks the local
// unblock server for the client status at start, and the server answers
// with an error text of --length characters (by default 9,999,999, the
// longest its frame allows). Measured: the longest stall of the window's
// event loop from the request until a second after the error line reached
// the log view; then the same for --rounds - 1 refreshes by the status
// page's button; then the time the program takes to close.

#include "tests/support/ModalBoxes.h"
#include "tests/support/StallWatch.h"
#include "tests/support/UnblockServerProcess.h"
#include "ui/app/Program.h"
#include "ui/services/DRVPEventLogger.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double targetMs = 200;
constexpr int settleMs = 1000;
constexpr int giveUpMs = 600000;

QString passPhrase()
{
    QFile file(UnblockServerProcess::certPath(QStringLiteral("passphrase.txt")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

void storeSettings(quint16 port)
{
    QSettings store(QStringLiteral("ВОРНТЕХ"), QStringLiteral("Дравек Про"));
    const QList<QPair<QString, QString>> values{
        {QStringLiteral("Server"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("Port"), QString::number(port)},
        {QStringLiteral("Timeout"), QStringLiteral("60000")},
        {QStringLiteral("CertCA"), UnblockServerProcess::certPath(QStringLiteral("ca.pem"))},
        {QStringLiteral("CertUser"), UnblockServerProcess::certPath(QStringLiteral("user.pem"))},
        {QStringLiteral("PKeyUser"), UnblockServerProcess::certPath(QStringLiteral("user-pkcs8.pem"))},
    };
    for (const auto& value : values)
        store.setValue(value.first, value.second);
}

} // namespace

int main(int argc, char** argv)
{
    Program::prepareEnvironment();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption rounds("rounds", "Status requests: the one at start, then refreshes.", "n", "5");
    const QCommandLineOption length("length", "Characters of the server's error reply.", "n", "9999999");
    parser.addOptions({rounds, length});
    parser.process(app);
    const int roundCount = qMax(1, parser.value(rounds).toInt());

    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    UnblockServerProcess server(QStringLiteral("server"), {QStringLiteral("--error-length"), parser.value(length),
                                                          QStringLiteral("--lifetime"), QStringLiteral("3600")});
    if (server.port == 0) {
        std::fprintf(stderr, "stallbench: the unblock server did not start (DRVP_TOOLS_DIR, DRVP_CERTS_DIR?)\n");
        return 1;
    }
    storeSettings(server.port);

    DRVPEventLogger* logger = eventLogger;
    QVector<double> stalls;
    QVector<qint64> answerMs;
    QElapsedTimer closing;
    bool started = false;
    {
        Program program(logger);
        eventLogger = nullptr;
        MainWindow& window = program.mainWindow();
        StallWatch meter;
        QElapsedTimer asked;
        QObject::connect(&window, &MainWindow::makeCommand, &meter, [&] {
            asked.start();
            meter.restart();
        });
        // A round ends a while after the error line reached the log view,
        // so that its showing counts too.
        QObject::connect(logger, &DRVPEventLogger::newLogMessage, &meter, [&](const QString& line) {
            if (!line.contains(QStringLiteral("выполнена с ошибкой")))
                return;
            answerMs << asked.elapsed();
            QTimer::singleShot(settleMs, &meter, [&] {
                stalls << meter.longestMs();
                if (stalls.size() < roundCount) {
                    window.findChild<QAbstractButton*>(QStringLiteral("RefreshStatusBtn"))->click();
                    return;
                }
                closing.start();
                window.close();
            });
        });
        QTimer::singleShot(giveUpMs, &app, [] { QCoreApplication::exit(1); });
        dialogsShownBy([&] { started = program.start(); }, {typeText(passPhrase())});
        if (started && app.exec() != 0)
            started = false;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!started || stalls.size() < roundCount) {
        std::fprintf(stderr, "stallbench: %d of %d rounds ended\n", int(stalls.size()), roundCount);
        return 1;
    }
    for (int round = 0; round < roundCount; ++round) {
        std::printf("%s: error reply of %s characters logged after %lld ms, longest stall %.1f ms\n",
                    round == 0 ? "status at start" : qPrintable(QStringLiteral("refresh %1").arg(round)),
                    qPrintable(parser.value(length)), static_cast<long long>(answerMs.at(round)), stalls.at(round));
    }
    const double longest = *std::max_element(stalls.begin(), stalls.end());
    std::printf("longest stall of %d rounds: %.1f ms (target under %.0f ms: %s); closing took %lld ms\n", roundCount,
                longest, targetMs, longest < targetMs ? "met" : "MISSED", static_cast<long long>(closing.elapsed()));
    return 0;
}
