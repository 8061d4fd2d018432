// The claim in the runner's thread: the connect, tried again while another
// program holds the card exclusively, then the card's transaction. Each
// wait the caller may end is entered only while the caller still wants the
// claim.

#include "readers/ClaimRunner.h"

namespace {

using namespace Pcsc;

constexpr quint32 anyProtocol = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
// As pcsc-lite itself polls a card held by another program.
constexpr auto exclusiveRetry = std::chrono::milliseconds(100);

} // namespace

ClaimRunner::Claim ClaimRunner::makeClaim(const QString &cardReader, bool startOver)
{
    Claim got;
    qint32 rc = connect(cardReader, got);
    while (rc == SCARD_E_SHARING_VIOLATION && waitAfterRefusal())
        rc = connect(cardReader, got);
    if (rc == SCARD_S_SUCCESS)
        rc = begin(got, startOver);
    if (rc == SCARD_S_SUCCESS) {
        got.outcome = CardTransaction::Outcome::Held;
        return got;
    }
    // A claim that did not get the hold keeps nothing of it.
    release(got);
    got.handle = 0;
    got.began = false;
    return got;
}

// False once the caller no longer wants the claim.
bool ClaimRunner::waitAfterRefusal()
{
    std::unique_lock<std::mutex> locked(mutex);
    refused = true;
    changed.notify_all();
    return !changed.wait_for(locked, exclusiveRetry, [this] { return !wanted(); });
}

// `context` is established, or renewed, here when it is missing or dead: a
// context from before a restart of the service is dead for good.
qint32 ClaimRunner::connect(const QString &cardReader, Claim &got)
{
    const auto connectOnce = [&] {
        return SCardConnectW(context, cardReader, SCARD_SHARE_SHARED, anyProtocol, &got.handle, &got.protocol);
    };
    qint32 rc = context ? connectOnce() : SCARD_E_NO_SERVICE;
    if (rc != SCARD_E_NO_SERVICE && rc != SCARD_E_INVALID_HANDLE)
        return rc;
    if (context)
        SCardReleaseContext(context);
    context = 0;
    rc = SCardEstablishContext(SCARD_SCOPE_USER, &context);
    if (rc != SCARD_S_SUCCESS) {
        context = 0;
        return rc;
    }
    return connectOnce();
}

// A reset by another program between our connect and the transaction shows
// at its start.
qint32 ClaimRunner::begin(Claim &got, bool startOver)
{
    qint32 rc = beginTransaction(got);
    if (rc == SCARD_W_RESET_CARD) {
        if (!startOver) {
            got.outcome = CardTransaction::Outcome::ResetAgain;
            return rc;
        }
        got.startedOver = true;
        // Refused at once while another program holds the card's transaction.
        do
            rc = SCardReconnect(got.handle, SCARD_SHARE_SHARED, anyProtocol, SCARD_LEAVE_CARD, &got.protocol);
        while (rc == SCARD_E_SHARING_VIOLATION && waitAfterRefusal());
        if (rc == SCARD_S_SUCCESS)
            rc = beginTransaction(got);
        if (rc == SCARD_W_RESET_CARD) {
            got.outcome = CardTransaction::Outcome::ResetAgain;
            return rc;
        }
    }
    got.began = rc == SCARD_S_SUCCESS;
    return rc;
}

// pcsc-lite ends this wait when its handle goes: endBeginWait() may take the
// handle away meanwhile.
qint32 ClaimRunner::beginTransaction(Claim &got)
{
    {
        const std::lock_guard<std::mutex> locked(mutex);
        if (!wanted())
            return SCARD_E_CANCELLED;
        beginning = got.handle;
    }
    const qint32 rc = SCardBeginTransaction(got.handle);
    const std::lock_guard<std::mutex> locked(mutex);
    if (!beginning)
        got.handle = 0;
    beginning = 0;
    return got.handle ? rc : SCARD_E_CANCELLED;
}
