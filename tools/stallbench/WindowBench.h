#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include <functional>

class Config;
class DRVPEventLogger;
class MainWindow;
class StallWatch;

// The main window driven through the stretches the benchmark times, each
// watched for the longest stall of the event loop.
class WindowBench
{
public:
    WindowBench(MainWindow& window, Config& settings, StallWatch& stalls);

    struct Figures
    {
        QString what;
        qint64 ms = 0; // until the window showed the outcome
        double stallMs = 0;
    };
    QVector<Figures> figures;

    // A status request, by the button, to the unblock server on `port`;
    // `startedByProgram` when start-up sent it already.
    bool statusRound(const QString& what, quint16 port, bool startedByProgram = false);
    // Width changes, repaints and scrolls of the status view.
    bool afterwards(const QString& what);
    // The upload of `file` to the Kvarnol double the settings name.
    bool uploadRound(const QString& what, const QString& file);
    // A worker thread writes synced lines (writeNow) one after another onto a
    // disk whose sync takes 200 ms, while the GUI thread logs lines as the
    // window does during a read.
    bool syncedLogRound(const QString& what, DRVPEventLogger& logger);
    const QString& failure() const { return why; }

private:
    bool await(const std::function<bool()>& condition, const QString& what);
    void settle(int ms);
    void record(const QString& what, qint64 ms);
    bool fail(const QString& what);

    MainWindow& window;
    Config& settings;
    StallWatch& stalls;
    QElapsedTimer asked;
    QString why;
};
