#include "tools/vcard/VpcdConnection.h"

#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CommandApdu.h"
#include "tools/vcard/CommandPause.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalFd = -1;

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}
} // namespace

VpcdConnection::VpcdConnection(ApduEngine *engine, const QByteArray &atr)
    : m_engine(engine),
      m_atr(atr)
{
}

VpcdConnection::~VpcdConnection()
{
    close();
}

bool VpcdConnection::watchTermination(QString *error)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0
        || (signalFd = signalfd(-1, &signals, SFD_CLOEXEC)) < 0) {
        *error = systemError();
        return false;
    }
    return true;
}

bool VpcdConnection::open(quint16 port, QString *error)
{
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        *error = systemError();
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        *error = systemError();
        close();
        return false;
    }
    const int on = 1;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    stamp("inserted");
    return true;
}

void VpcdConnection::stamp(const char *event) const
{
    if (!m_stamps)
        return;
    const auto now = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch());
    std::printf("%s %.3f\n", event, now.count());
    std::fflush(stdout);
}

void VpcdConnection::close()
{
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

VpcdConnection::End VpcdConnection::serve(QString *error)
{
    for (;;) {
        End end = End::Failed;
        char header[2];
        if (!receive(header, 2, &end, error))
            return end;
        QByteArray payload((quint8(header[0]) << 8) | quint8(header[1]), Qt::Uninitialized);
        if (!payload.isEmpty() && !receive(payload.data(), payload.size(), &end, error))
            return end;

        if (payload.size() > 1) {
            const Wait held = holdIfPaused();
            if (held != Wait::Ready)
                return held == Wait::Terminated ? End::Terminated : End::Failed;
        }
        bool replies = false;
        const QByteArray reply = answer(payload, &replies);
        if (m_engine->leaving())
            return End::Removed;
        if (!replies)
            continue;
        const int delayMs = m_delayMs + slowDelayOf(payload);
        if (delayMs > 0) {
            const Wait waited = waitFor(-1, delayMs);
            if (waited != Wait::Ready)
                return waited == Wait::Terminated ? End::Terminated : End::Failed;
        }
        if (!send(reply, error))
            return End::Failed;
        if (payload.size() > 1)
            stamp("answered");
        if (payload.size() > 1 && m_removeAfter > 0 && ++m_commands >= m_removeAfter)
            return End::Removed;
    }
}

int VpcdConnection::slowDelayOf(const QByteArray &payload) const
{
    if (payload.size() == 1)
        return payload.at(0) == 4 ? m_slowAtrMs : 0;
    CommandApdu apdu;
    if (m_slowKinds.isEmpty() || !CommandApdu::parse(payload, &apdu))
        return 0;
    return m_slowKinds.value(commandKindOf(apdu));
}

QByteArray VpcdConnection::answer(const QByteArray &payload, bool *replies)
{
    *replies = false;
    if (payload.size() > 1) {
        *replies = true;
        return m_engine->transmit(payload);
    }
    if (payload.size() == 1) {
        switch (payload.at(0)) {
        case 0: // power off
        case 1: // power on
        case 2: // reset
            m_engine->reset();
            break;
        case 4:
            *replies = true;
            return m_atr;
        default:
            break;
        }
    }
    return QByteArray();
}

// Ready when `fd` is, when the time is up, or (no fd, no time limit) when a
// command of the pause came in.
VpcdConnection::Wait VpcdConnection::waitFor(int fd, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(qMax(0, timeoutMs));
    for (;;) {
        const int control = m_pause ? m_pause->fd() : -1;
        pollfd fds[3] = {{signalFd, POLLIN, 0}, {control, POLLIN, 0}, {fd, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = poll(fds, 3, timeoutMs < 0 ? -1 : int(qMax<qint64>(0, left)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::Failed;
        if (fds[0].revents & POLLIN)
            return Wait::Terminated;
        // A pause asked for before the APDU came holds that APDU.
        const bool commands = fds[1].revents != 0;
        if (commands)
            m_pause->readCommands();
        if (ready == 0 || fds[2].revents)
            return Wait::Ready;
        if (commands && fd < 0 && timeoutMs < 0)
            return Wait::Ready;
    }
}

VpcdConnection::Wait VpcdConnection::holdIfPaused()
{
    if (!m_pause || !m_pause->armed())
        return Wait::Ready;
    m_pause->hold();
    while (m_pause->holding()) {
        const Wait waited = waitFor(-1, -1);
        if (waited != Wait::Ready)
            return waited;
    }
    return Wait::Ready;
}

bool VpcdConnection::receive(char *buffer, int size, End *end, QString *error)
{
    int done = 0;
    while (done < size) {
        const Wait waited = waitFor(m_socket, -1);
        if (waited != Wait::Ready) {
            *end = waited == Wait::Terminated ? End::Terminated : End::Failed;
            return false;
        }
        // The reader writes length and payload separately; without a quick
        // acknowledgement every APDU waits for the delayed ACK.
        const int on = 1;
        setsockopt(m_socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        const ssize_t got = recv(m_socket, buffer + done, size_t(size - done), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            *end = got == 0 ? End::ReaderGone : End::Failed;
            if (got < 0)
                *error = systemError();
            return false;
        }
        done += int(got);
    }
    return true;
}

bool VpcdConnection::send(const QByteArray &payload, QString *error)
{
    QByteArray message;
    message.append(char(payload.size() >> 8));
    message.append(char(payload.size() & 0xFF));
    message.append(payload);
    int done = 0;
    while (done < message.size()) {
        const ssize_t sent = ::send(m_socket, message.constData() + done, size_t(message.size() - done),
                                    MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0) {
            *error = systemError();
            return false;
        }
        done += int(sent);
    }
    return true;
}
