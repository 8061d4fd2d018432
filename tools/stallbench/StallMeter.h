#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The event loop's longest stall: a timer asks to run every few
// milliseconds, and each gap between two of its runs beyond that is time the
// loop was held up elsewhere (a user's click would have waited as long).
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(tickMs);
        connect(&timer, &QTimer::timeout, this, &StallMeter::tick);
    }

    void begin()
    {
        longestNs = 0;
        sinceTick.start();
        timer.start();
    }

    // The longest gap since begin, in milliseconds.
    double end()
    {
        tick();
        timer.stop();
        return longestNs / 1e6;
    }

private:
    static constexpr int tickMs = 5;

    void tick()
    {
        longestNs = qMax(longestNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
    }

    QTimer timer;
    QElapsedTimer sinceTick;
    qint64 longestNs = 0;
};
