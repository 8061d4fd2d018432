#pragma once

#include "readers/CardReaderAgent.h"

#include <QThread>

// The PC/SC thread: runs the agent's monitor loop so that the blocking wait
// never stalls the windows or the card operations.
class CRAController : public QThread
{
    Q_OBJECT

public:
    explicit CRAController(QObject *parent = nullptr);
    // Stops the monitor and waits for the thread.
    ~CRAController() override;

    CardReaderAgent &agent() { return m_agent; }

protected:
    void run() override;

private:
    CardReaderAgent m_agent;
};
