// Start-up benchmark of the program (not a test; run tools/startbench/run).
//
// 1. Time from process start to the main window's first paint, for the
//    program (startprobe: the same start-up as main) and for a minimal Qt
//    Widgets program that shows an empty window (emptywindow), alternating,
//    medians over --rounds runs after one warm-up run of each.
// 2. The program left idle: after --idle-after seconds, the wake-ups of all
//    its threads (voluntary and involuntary context switches) per second over
//    --window seconds, and its resident memory.

#include "tools/startbench/FirstPaint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

struct Child
{
    QProcess process;
    long long shownNs = -1;
};

// Starts the program and waits for its first paint; the child keeps running.
bool startAndWaitShown(Child& child, const QString& program, const QStringList& arguments, double& ms)
{
    child.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const long long started = FirstPaint::now();
    child.process.start(program, arguments);
    QByteArray output;
    while (child.process.waitForReadyRead(60000)) {
        output += child.process.readAllStandardOutput();
        const int at = output.indexOf("SHOWN ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            child.shownNs = output.mid(at + 6, end - at - 6).toLongLong();
            ms = (child.shownNs - started) / 1e6;
            return true;
        }
    }
    return false;
}

void stop(Child& child)
{
    child.process.kill();
    child.process.waitForFinished(10000);
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Sum of the context switches of every thread of the process.
long long contextSwitches(qint64 pid)
{
    long long total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.contains("ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

double residentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption rounds("rounds", "Timed start-ups of each program.", "n", "11");
    const QCommandLineOption idleAfter("idle-after", "Seconds before the idle sample.", "s", "30");
    const QCommandLineOption window("window", "Seconds the idle sample lasts.", "s", "10");
    const QCommandLineOption ca("ca", "CA certificate for the program's settings.", "file");
    parser.addOptions({rounds, idleAfter, window, ca});
    parser.process(app);
    if (!parser.isSet(ca)) {
        std::fprintf(stderr, "startbench: --ca FILE is needed\n");
        return 2;
    }

    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    const QString dir = QCoreApplication::applicationDirPath();
    const QString probe = dir + QStringLiteral("/startprobe");
    const QString empty = dir + QStringLiteral("/emptywindow");
    const QStringList probeArguments{QStringLiteral("--ca"), parser.value(ca)};

    QVector<double> probeMs;
    QVector<double> emptyMs;
    const int n = parser.value(rounds).toInt();
    for (int round = -1; round < n; ++round) {
        // Alternate which goes first, so neither always meets a warmer cache.
        for (int turn = 0; turn < 2; ++turn) {
            const bool isProbe = (turn == 0) == (round % 2 == 0);
            Child child;
            double ms = 0;
            if (!startAndWaitShown(child, isProbe ? probe : empty, isProbe ? probeArguments : QStringList(), ms)) {
                std::fprintf(stderr, "startbench: %s showed no window\n", isProbe ? "startprobe" : "emptywindow");
                return 1;
            }
            stop(child);
            if (round >= 0)
                (isProbe ? probeMs : emptyMs) << ms;
        }
    }
    const double ratio = median(probeMs) / median(emptyMs);
    std::printf("start-up to first paint, median of %d: program %.1f ms, empty window %.1f ms, ratio %.2f "
                "(target at most 2: %s)\n",
                n, median(probeMs), median(emptyMs), ratio, verdict(ratio <= 2));

    Child idle;
    double ms = 0;
    if (!startAndWaitShown(idle, probe, probeArguments, ms)) {
        std::fprintf(stderr, "startbench: startprobe showed no window\n");
        return 1;
    }
    const qint64 pid = idle.process.processId();
    QThread::sleep(parser.value(idleAfter).toULong());
    const long long before = contextSwitches(pid);
    const int seconds = parser.value(window).toInt();
    QThread::sleep(ulong(seconds));
    const double wakeups = double(contextSwitches(pid) - before) / seconds;
    const double rss = residentMb(pid);
    stop(idle);
    std::printf("idle after %s s: %.1f wake-ups per second (target at most 3: %s), %.1f MB resident "
                "(target at most 60: %s)\n",
                qPrintable(parser.value(idleAfter)), wakeups, verdict(wakeups <= 3), rss, verdict(rss <= 60));
    return 0;
}
