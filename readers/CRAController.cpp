#include "readers/CRAController.h"

CRAController::CRAController(QObject *parent) : QThread(parent) {}

CRAController::~CRAController()
{
    m_agent.stop();
    wait();
}

void CRAController::run()
{
    m_agent.runMonitor();
}
