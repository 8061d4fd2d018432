#include "tools/iconbench/ServiceWatcher.h"

#include "platform/Pcsc.h"
#include "tools/iconbench/RowClock.h"

using namespace Pcsc;

namespace {

constexpr quint32 heldBits = SCARD_STATE_INUSE | SCARD_STATE_EXCLUSIVE;

} // namespace

ServiceWatcher::ServiceWatcher(const QString &reader) : m_reader(reader)
{
    SCardEstablishContext(SCARD_SCOPE_USER, &m_context);
    m_thread = std::thread([this] { run(); });
}

ServiceWatcher::~ServiceWatcher()
{
    m_stop = true;
    m_thread.join();
    SCardReleaseContext(m_context);
}

QVector<double> ServiceWatcher::arrivals() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrivals;
}

QVector<double> ServiceWatcher::releases() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_releases;
}

void ServiceWatcher::run()
{
    quint32 before = SCARD_STATE_UNAWARE;
    while (!m_stop) {
        SCARD_READERSTATEW state;
        state.szReader = m_reader;
        const qint32 rc = SCardGetStatusChangeW(m_context, 0, &state, 1);
        const double now = monotonicMs();
        if (rc == SCARD_S_SUCCESS || rc == SCARD_E_TIMEOUT) {
            const quint32 after = state.dwEventState & ~SCARD_STATE_CHANGED;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (before != SCARD_STATE_UNAWARE && !(before & SCARD_STATE_PRESENT) && (after & SCARD_STATE_PRESENT))
                m_arrivals << now;
            if ((before & heldBits) && (after & SCARD_STATE_PRESENT) && !(after & heldBits))
                m_releases << now;
            before = after;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
