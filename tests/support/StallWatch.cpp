#include "tests/support/StallWatch.h"

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
