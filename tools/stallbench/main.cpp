// Benchmark of the main window's responsiveness (not a test; run
// tools/stallbench/run). The program as main() starts it asks the local
// unblock server for the client status at start; that server answers with an
// error text of --length characters (by default 9,999,999, the longest its
// frame allows), at start and at --rounds - 1 refreshes. Then other servers
// answer well-formed statuses of 2, 30,000 and 120,000 rows and of one row
// whose first field holds 9,000,000 or 1,048,576 characters, each followed by
// width changes, repaints and scrolls of the table; then a file of 64 MB is
// uploaded to the web-service double. Last, for 10 s, a worker thread writes
// synced log lines (writeNow) one after another onto a disk whose sync takes
// 200 ms (tools/stallbench/SlowSync.h), while the GUI thread logs a line
// every 50 ms. Printed: for each stretch the time until the window showed its
// outcome and the longest stall of the window's event loop, then the time
// the program takes to close.

#include "tests/support/ModalBoxes.h"
#include "tests/support/StallWatch.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/WebServiceProcess.h"
#include "tools/stallbench/WindowBench.h"
#include "ui/app/Program.h"
#include "ui/services/DRVPEventLogger.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr double targetMs = 200;
constexpr qint64 uploadBytes = 64 * 1024 * 1024;

struct StatusShape
{
    QString what;
    QStringList options;
};

const QVector<StatusShape> statusShapes{
    {"status of 2 rows", {"--status-rows", "2"}},
    {"status of 30,000 rows", {"--status-rows", "30000"}},
    {"status of 120,000 rows", {"--status-rows", "120000"}},
    {"status of 1 row, first field of 9,000,000 characters", {"--status-rows", "1", "--status-field", "9000000"}},
    {"status of 1 row, first field of 1,048,576 characters", {"--status-rows", "1", "--status-field", "1048576"}},
};

QString passPhrase()
{
    QFile file(UnblockServerProcess::certPath(QStringLiteral("passphrase.txt")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

void storeSettings(quint16 port, const QString& webHost)
{
    QSettings store(QStringLiteral("ВОРНТЕХ"), QStringLiteral("Дравек Про"));
    const QList<QPair<QString, QString>> values{
        {QStringLiteral("Server"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("Port"), QString::number(port)},
        {QStringLiteral("Timeout"), QStringLiteral("60000")},
        {QStringLiteral("CertCA"), UnblockServerProcess::certPath(QStringLiteral("ca.pem"))},
        {QStringLiteral("CertUser"), UnblockServerProcess::certPath(QStringLiteral("user.pem"))},
        {QStringLiteral("PKeyUser"), UnblockServerProcess::certPath(QStringLiteral("user-pkcs8.pem"))},
        {QStringLiteral("Protocol"), QStringLiteral("http")},
        {QStringLiteral("KvarnolServer"), webHost},
        {QStringLiteral("KvarnolLogin"), QStringLiteral("driver")},
    };
    for (const auto& value : values)
        store.setValue(value.first, value.second);
}

// Random bytes, as card data looks to base64.
QString writeUploadFile(const QTemporaryDir& home)
{
    QByteArray bytes(uploadBytes, Qt::Uninitialized);
    QRandomGenerator generator(44);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    QFile file(home.filePath(QStringLiteral("C_20240607_1200_BENCH_RUS.ddd")));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
}

bool runRounds(WindowBench& bench, const QVector<quint16>& ports, int errorRounds, const QString& file,
               DRVPEventLogger& logger)
{
    for (int round = 0; round < errorRounds; ++round) {
        const QString what = round == 0 ? QStringLiteral("error reply, status at start")
                                        : QStringLiteral("error reply, refresh %1").arg(round);
        if (!bench.statusRound(what, ports.first(), round == 0))
            return false;
    }
    for (int shape = 0; shape < statusShapes.size(); ++shape) {
        const QString& what = statusShapes.at(shape).what;
        if (!bench.statusRound(what, ports.at(shape + 1))
            || !bench.afterwards(QStringLiteral("  then resized, repainted, scrolled")))
            return false;
    }
    return bench.uploadRound(QStringLiteral("upload of a 64 MB file"), file)
           && bench.syncedLogRound(QStringLiteral("synced log, 200 ms a sync"), logger);
}

} // namespace

int main(int argc, char** argv)
{
    Program::prepareEnvironment();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption rounds("rounds", "Error replies: the one at start, then refreshes.", "n", "5");
    const QCommandLineOption length("length", "Characters of the server's error reply.", "n", "9999999");
    parser.addOptions({rounds, length});
    parser.process(app);
    const int errorRounds = qMax(1, parser.value(rounds).toInt());

    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    const QStringList serverLife{QStringLiteral("--lifetime"), QStringLiteral("3600")};
    std::vector<std::unique_ptr<UnblockServerProcess>> servers;
    servers.push_back(std::make_unique<UnblockServerProcess>(
        QStringLiteral("server"), QStringList{QStringLiteral("--error-length"), parser.value(length)} + serverLife));
    for (const StatusShape& shape : statusShapes)
        servers.push_back(std::make_unique<UnblockServerProcess>(QStringLiteral("server"), shape.options + serverLife));
    QVector<quint16> ports;
    for (const auto& server : servers)
        ports << server->port;
    WebServiceProcess web;
    const QString file = writeUploadFile(home);
    if (ports.contains(0) || web.port == 0 || file.isEmpty()) {
        std::fprintf(stderr, "stallbench: a server did not start or the file was not written "
                             "(DRVP_TOOLS_DIR, DRVP_CERTS_DIR?)\n");
        return 1;
    }
    storeSettings(ports.first(), web.host());

    DRVPEventLogger* logger = eventLogger;
    bool done = false;
    QString failure;
    QElapsedTimer closing;
    StallWatch stalls;
    QVector<WindowBench::Figures> figures;
    {
        Program program(logger);
        eventLogger = nullptr;
        WindowBench bench(program.mainWindow(), program.settings(), stalls);
        bool started = false;
        dialogsShownBy([&] { started = program.start(); }, {typeText(passPhrase())});
        done = started && runRounds(bench, ports, errorRounds, file, *logger);
        failure = started ? bench.failure() : QStringLiteral("the program did not start");
        figures = bench.figures;
        closing.start();
        program.mainWindow().close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!done) {
        std::fprintf(stderr, "stallbench: %s\n", qPrintable(failure));
        return 1;
    }
    double longest = 0;
    for (const WindowBench::Figures& f : qAsConst(figures)) {
        const QString shown = f.ms > 0 ? QStringLiteral("shown after %1 ms,").arg(f.ms) : QString();
        std::printf("%-55s %-22s longest stall %7.1f ms\n", qPrintable(f.what), qPrintable(shown), f.stallMs);
        longest = std::max(longest, f.stallMs);
    }
    std::printf("longest stall of all: %.1f ms (target under %.0f ms: %s); closing took %lld ms\n", longest, targetMs,
                longest < targetMs ? "met" : "MISSED", static_cast<long long>(closing.elapsed()));
    return 0;
}
