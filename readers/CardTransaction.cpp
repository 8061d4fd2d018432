#include "readers/CardTransaction.h"

#include <QElapsedTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace Pcsc;

constexpr quint32 anyProtocol = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
// A card's own answer to reset comes well within this.
constexpr int noticeMs = 1000;
constexpr auto pollSlice = std::chrono::milliseconds(50);
// As pcsc-lite itself polls a card held by another program.
constexpr auto exclusiveRetry = std::chrono::milliseconds(100);

} // namespace

// One claim of the card, shared by the caller and the thread that makes it.
struct CardClaim
{
    QString reader;
    bool mayStartOver = true;

    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false;
    // Another program holds the card exclusively.
    bool refused = false;

    CardTransaction::Outcome outcome = CardTransaction::Outcome::Failed;
    qint32 code = 0;
    SCARDCONTEXT context = 0;
    SCARDHANDLE handle = 0;
    quint32 protocol = 0;
    bool began = false;
    bool startedOver = false;

    void run();
    bool stopped()
    {
        const std::lock_guard<std::mutex> locked(mutex);
        return abandoned;
    }
    qint32 connect();
    qint32 begin();
    void release();
};

qint32 CardClaim::connect()
{
    for (;;) {
        const qint32 rc = SCardConnectW(context, reader, SCARD_SHARE_SHARED, anyProtocol, &handle, &protocol);
        if (rc != SCARD_E_SHARING_VIOLATION)
            return rc;
        {
            const std::lock_guard<std::mutex> locked(mutex);
            refused = true;
            if (abandoned)
                return rc;
        }
        changed.notify_all();
        std::this_thread::sleep_for(exclusiveRetry);
    }
}

// The transaction, and the reset that every stretch starts from. A reset by
// another program between our connect and the transaction shows at its start.
qint32 CardClaim::begin()
{
    qint32 rc = SCardBeginTransaction(handle);
    if (rc == SCARD_W_RESET_CARD) {
        if (!mayStartOver) {
            outcome = CardTransaction::Outcome::ResetAgain;
            return rc;
        }
        startedOver = true;
        rc = SCardReconnect(handle, SCARD_SHARE_SHARED, anyProtocol, SCARD_LEAVE_CARD, &protocol);
        if (rc == SCARD_S_SUCCESS)
            rc = SCardBeginTransaction(handle);
        if (rc == SCARD_W_RESET_CARD) {
            outcome = CardTransaction::Outcome::ResetAgain;
            return rc;
        }
    }
    if (rc != SCARD_S_SUCCESS)
        return rc;
    began = true;
    // A claim given up meanwhile lets the card go as it found it.
    if (stopped())
        return rc;
    return SCardReconnect(handle, SCARD_SHARE_SHARED, anyProtocol, SCARD_RESET_CARD, &protocol);
}

void CardClaim::run()
{
    qint32 rc = SCardEstablishContext(SCARD_SCOPE_USER, &context);
    if (rc == SCARD_S_SUCCESS)
        rc = connect();
    if (rc == SCARD_S_SUCCESS && !stopped())
        rc = begin();
    std::unique_lock<std::mutex> locked(mutex);
    code = rc;
    if (rc == SCARD_S_SUCCESS)
        outcome = CardTransaction::Outcome::Held;
    finished = true;
    if (abandoned) {
        locked.unlock();
        release();
        return;
    }
    changed.notify_all();
}

// Nothing was sent: the card is left as it is.
void CardClaim::release()
{
    if (began)
        SCardEndTransaction(handle, SCARD_LEAVE_CARD);
    if (handle)
        SCardDisconnect(handle, SCARD_LEAVE_CARD);
    if (context)
        SCardReleaseContext(context);
}

CardTransaction::CardTransaction(const QString &reader, const Wait &wait)
{
    auto claim = std::make_shared<CardClaim>();
    claim->reader = reader;
    claim->mayStartOver = wait.mayStartOver;
    std::thread([claim] { claim->run(); }).detach();

    QElapsedTimer waited;
    waited.start();
    bool told = false;
    std::unique_lock<std::mutex> locked(claim->mutex);
    while (!claim->finished) {
        const bool cancelled = wait.cancelled && wait.cancelled();
        if (cancelled || waited.elapsed() >= waitLimitMs) {
            // The thread lets the card go once pcscd answers it.
            claim->abandoned = true;
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
    m_outcome = claim->outcome;
    m_code = claim->code;
    m_context = claim->context;
    m_handle = claim->handle;
    m_protocol = claim->protocol;
    m_began = claim->began;
    m_startedOver = claim->startedOver;
    if (m_outcome != Outcome::Held) {
        locked.unlock();
        claim->release();
        m_context = 0;
        m_handle = 0;
        m_began = false;
    }
}

CardTransaction::~CardTransaction()
{
    end();
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
    if (m_context)
        SCardReleaseContext(m_context);
    m_began = false;
    m_handle = 0;
    m_context = 0;
    return rc;
}
