#include "readers/CardTransaction.h"

#include "readers/ClaimRunner.h"

#include <QElapsedTimer>

#include <chrono>

namespace {

using namespace Pcsc;

constexpr quint32 anyProtocol = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
// A card no other program keeps is claimed well within this.
constexpr int noticeMs = 1000;
constexpr auto pollSlice = std::chrono::milliseconds(50);

} // namespace

CardTransaction::CardTransaction(const QString &reader, const Wait &wait)
    : m_runner(ClaimRunner::claim(reader, wait.mayStartOver))
{
    QElapsedTimer waited;
    waited.start();
    bool told = false;
    bool refused = false;
    ClaimRunner::Claim claim;
    while (!m_runner->waitForEnd(pollSlice, &claim, &refused)) {
        const bool cancelled = wait.cancelled && wait.cancelled();
        if (cancelled || waited.elapsed() >= waitLimitMs) {
            m_runner->giveUp();
            m_runner.reset();
            m_outcome = cancelled ? Outcome::Cancelled : Outcome::HeldElsewhere;
            return;
        }
        if (!told && (refused || waited.elapsed() >= noticeMs)) {
            told = true;
            if (wait.waiting)
                wait.waiting();
        }
    }
    m_outcome = claim.outcome;
    m_startedOver = claim.startedOver;
    if (m_outcome != Outcome::Held) {
        m_runner->giveBack();
        m_runner.reset();
        return;
    }
    m_handle = claim.handle;
    m_protocol = claim.protocol;
    m_began = claim.began;
}

CardTransaction::~CardTransaction()
{
    end();
}

qint32 CardTransaction::reset()
{
    return reconnect(SCARD_RESET_CARD);
}

bool CardTransaction::takeBack()
{
    return reconnect(SCARD_LEAVE_CARD) == SCARD_S_SUCCESS;
}

qint32 CardTransaction::reconnect(quint32 initialization)
{
    if (!m_handle)
        return SCARD_E_INVALID_HANDLE;
    return SCardReconnect(m_handle, SCARD_SHARE_SHARED, anyProtocol, initialization, &m_protocol);
}

// The reset ends the transaction, so no other program's command comes
// between our last one and the reset, and the disconnect never waits for
// another program's transaction as a disconnect with a reset would.
qint32 CardTransaction::end()
{
    qint32 rc = SCARD_S_SUCCESS;
    if (m_began)
        rc = SCardEndTransaction(m_handle, SCARD_RESET_CARD);
    if (m_handle) {
        const qint32 disconnected = SCardDisconnect(m_handle, SCARD_LEAVE_CARD);
        if (rc == SCARD_S_SUCCESS)
            rc = disconnected;
    }
    if (m_runner)
        m_runner->giveBack();
    m_runner.reset();
    m_began = false;
    m_handle = 0;
    return rc;
}
