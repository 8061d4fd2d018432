#include "tests/support/StallWatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>

#include <algorithm>

namespace {
constexpr int intervalMs = 1;
}

StallWatch::StallWatch()
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, &StallWatch::tick);
    clock.start();
    timer.start();
}

void StallWatch::restart()
{
    lastNs = clock.nsecsElapsed();
    longestNs = 0;
}

double StallWatch::longestMs() const
{
    return std::max(0.0, longestNs / 1e6 - intervalMs);
}

void StallWatch::tick()
{
    const qint64 now = clock.nsecsElapsed();
    longestNs = std::max(longestNs, now - lastNs);
    lastNs = now;
}

bool turnLoopUntil(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}
