#include "ui/app/StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};
constexpr int stopSignals[] = {SIGTERM, SIGHUP, SIGINT};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    // A full pipe already holds a request to stop.
    const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject* parent)
    : QObject(parent)
{
}

StopSignals::~StopSignals()
{
    if (!notifier)
        return;
    for (const int number : stopSignals) {
        struct sigaction old = {};
        if (::sigaction(number, nullptr, &old) == 0 && old.sa_handler == onSignal)
            ::signal(number, SIG_DFL);
    }
    delete notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

bool StopSignals::install()
{
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int number : stopSignals) {
        struct sigaction old = {};
        if (::sigaction(number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        installed = ::sigaction(number, &action, nullptr) == 0 && installed;
    }
    return installed;
}

void StopSignals::readPipe()
{
    char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        emit received(byte);
}
