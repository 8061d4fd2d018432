#include "readers/CardTransaction.h"

#include "readers/CardClaim.h"
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
{
    claimByRunner(std::make_shared<CardClaim>(reader, wait.mayStartOver), wait);
}

CardTransaction::~CardTransaction()
{
    end();
}

void CardTransaction::claimByRunner(const std::shared_ptr<CardClaim> &claim, const Wait &wait)
{
    m_runner = ClaimRunner::take();
    m_runner->run(claim);

    QElapsedTimer waited;
    waited.start();
    bool told = false;
    std::unique_lock<std::mutex> locked(claim->mutex);
    while (!claim->finished) {
        const bool cancelled = wait.cancelled && wait.cancelled();
        if (cancelled || waited.elapsed() >= waitLimitMs) {
            locked.unlock();
            // The runner lets the card go, and itself, once pcscd answers.
            claim->abandon();
            m_runner.reset();
            m_outcome = cancelled ? Outcome::Cancelled : Outcome::HeldElsewhere;
            return;
        }
        if (!told && (claim->refused || waited.elapsed() >= noticeMs)) {
            told = true;
            locked.unlock();
            if (wait.waiting)
                wait.waiting();
            locked.lock();
            continue;
        }
        claim->changed.wait_for(locked, pollSlice);
    }
    locked.unlock();
    take(*claim);
    if (m_outcome != Outcome::Held) {
        claim->release();
        m_runner->giveBack();
        m_runner.reset();
    }
}

void CardTransaction::take(CardClaim &claim)
{
    m_outcome = claim.outcome;
    m_startedOver = claim.startedOver;
    if (m_outcome != Outcome::Held)
        return;
    m_handle = claim.handle;
    m_protocol = claim.protocol;
    m_began = claim.began;
}

bool CardTransaction::reset()
{
    return reconnect(SCARD_RESET_CARD);
}

bool CardTransaction::takeBack()
{
    return reconnect(SCARD_LEAVE_CARD);
}

bool CardTransaction::reconnect(quint32 initialization)
{
    return m_handle
        && SCardReconnect(m_handle, SCARD_SHARE_SHARED, anyProtocol, initialization, &m_protocol) == SCARD_S_SUCCESS;
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
