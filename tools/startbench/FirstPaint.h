#pragma once

#include <QEvent>
#include <QObject>

#include <cstdio>
#include <ctime>

// Prints "SHOWN <ns>" (CLOCK_MONOTONIC) when the watched window is first
// painted, the moment a user sees it.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QObject* window)
    {
        window->installEventFilter(this);
    }

    static long long now()
    {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return t.tv_sec * 1000000000LL + t.tv_nsec;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            std::printf("SHOWN %lld\n", now());
            std::fflush(stdout);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen = false;
};
