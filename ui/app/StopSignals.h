#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT as a Qt signal in the thread that installs
// them: the handler only writes the signal's number into a pipe, which a
// socket notifier reads. A signal the program was started to ignore stays
// ignored (nohup). One object per process; its destruction brings the
// default handling back.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // False when the pipe or a handler could not be set up.
    bool install();

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier = nullptr;
};
