#pragma once

#include <QObject>
#include <QStringList>

// Collects signals from another thread as lines of text in the test's own
// thread, so the test reads them without racing the sender.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QStringList events;

    int count(const QString &event) const { return events.count(event); }

public slots:
    void record(const QString &event) { events.append(event); }
};
