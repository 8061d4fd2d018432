#include "tools/daybench/TimedApplication.h"

#include "ui/services/DRVPEventLogger.h"

#include <QElapsedTimer>
#include <QEvent>

// Events reach the logger in its own thread, the GUI thread, only.
bool TimedApplication::notify(QObject* receiver, QEvent* event)
{
    if (event->type() != QEvent::MetaCall || !qobject_cast<DRVPEventLogger*>(receiver))
        return QApplication::notify(receiver, event);
    QElapsedTimer timer;
    timer.start();
    const bool handled = QApplication::notify(receiver, event);
    lineMs << timer.nsecsElapsed() / 1e6;
    return handled;
}
