#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// The longest time the GUI thread's event loop went without turning, seen by
// a timer that asks to run every millisecond (a user's click would have
// waited as long). Its ticks also keep a wait on
// the event loop from sleeping longer than that.
class StallWatch : public QObject
{
public:
    StallWatch();

    // Starts a new stretch of watching.
    void restart();
    // The longest stall of the stretch, beyond the timer's own millisecond.
    double longestMs() const;

private:
    void tick();

    QTimer timer;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    qint64 longestNs = 0;
};

// Turns the event loop, as the program's own loop would, until `condition`
// holds; false when `ms` passed first. A running watch keeps each turn short.
bool turnLoopUntil(const std::function<bool()> &condition, int ms);
