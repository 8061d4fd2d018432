#include "readers/CardClaim.h"

#include <chrono>
#include <thread>

namespace {

using namespace Pcsc;

constexpr quint32 anyProtocol = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
// As pcsc-lite itself polls a card held by another program.
constexpr auto exclusiveRetry = std::chrono::milliseconds(100);

} // namespace

void CardClaim::run(SCARDCONTEXT &context)
{
    qint32 rc = context ? connect(context) : SCARD_E_NO_SERVICE;
    // A context from before a restart of the service is dead for good.
    if (rc == SCARD_E_NO_SERVICE || rc == SCARD_E_INVALID_HANDLE) {
        if (context)
            SCardReleaseContext(context);
        context = 0;
        rc = SCardEstablishContext(SCARD_SCOPE_USER, &context);
        if (rc == SCARD_S_SUCCESS)
            rc = connect(context);
        else
            context = 0;
    }
    while (rc == SCARD_E_SHARING_VIOLATION) {
        {
            const std::lock_guard<std::mutex> locked(mutex);
            refused = true;
            if (abandoned)
                break;
        }
        changed.notify_all();
        std::this_thread::sleep_for(exclusiveRetry);
        rc = connect(context);
    }
    if (rc == SCARD_S_SUCCESS)
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

qint32 CardClaim::connect(SCARDCONTEXT context)
{
    return SCardConnectW(context, reader, SCARD_SHARE_SHARED, anyProtocol, &handle, &protocol);
}

// The transaction. A reset by another program between our connect and the
// transaction shows at its start.
qint32 CardClaim::begin()
{
    const auto beginTransaction = [this] {
        {
            const std::lock_guard<std::mutex> locked(mutex);
            if (abandoned)
                return SCARD_E_CANCELLED;
            beginning = handle;
        }
        const qint32 rc = SCardBeginTransaction(handle);
        const std::lock_guard<std::mutex> locked(mutex);
        beginning = 0;
        return rc;
    };
    qint32 rc = beginTransaction();
    if (rc == SCARD_W_RESET_CARD) {
        if (!mayStartOver) {
            outcome = CardTransaction::Outcome::ResetAgain;
            return rc;
        }
        startedOver = true;
        rc = SCardReconnect(handle, SCARD_SHARE_SHARED, anyProtocol, SCARD_LEAVE_CARD, &protocol);
        if (rc == SCARD_S_SUCCESS)
            rc = beginTransaction();
        if (rc == SCARD_W_RESET_CARD) {
            outcome = CardTransaction::Outcome::ResetAgain;
            return rc;
        }
    }
    began = rc == SCARD_S_SUCCESS;
    return rc;
}

// pcsc-lite ends a transaction wait when its handle goes; a connect wait
// cannot be ended from outside.
void CardClaim::abandon()
{
    SCARDHANDLE waiting = 0;
    {
        const std::lock_guard<std::mutex> locked(mutex);
        abandoned = true;
        waiting = beginning;
    }
    if (waiting)
        SCardDisconnect(waiting, SCARD_LEAVE_CARD);
}

void CardClaim::release()
{
    if (began)
        SCardEndTransaction(handle, SCARD_LEAVE_CARD);
    if (handle)
        SCardDisconnect(handle, SCARD_LEAVE_CARD);
    began = false;
    handle = 0;
}
