#pragma once

#include "platform/Pcsc.h"
#include "readers/CardTransaction.h"

#include <QString>

#include <condition_variable>
#include <mutex>

// One claim of the card for a hold: the connect and the card's transaction.
// Made in a ClaimRunner's thread while the caller waits, bounded and
// cancellable: another program may make either wait for as long as it
// likes. Shared by both threads; the fields below the mutex are guarded by
// it.
struct CardClaim
{
    CardClaim(const QString &reader, bool mayStartOver) : reader(reader), mayStartOver(mayStartOver) {}

    // In the runner's thread: connects, trying again while another program
    // holds the card exclusively, then begins. `context` is the runner's,
    // established or renewed here when it is missing or dead.
    void run(Pcsc::SCARDCONTEXT &context);
    // One connect: SCARD_E_SHARING_VIOLATION when another program holds the
    // card exclusively.
    qint32 connect(Pcsc::SCARDCONTEXT context);
    qint32 begin();
    // The caller gives the claim up: a transaction still being waited for
    // ends at once; a connect still waited for lets the card go once pcscd
    // answers it.
    void abandon();
    // Nothing was sent: the card is left as it is.
    void release();

    const QString reader;
    const bool mayStartOver;

    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false;
    // Another program holds the card exclusively.
    bool refused = false;
    // The handle whose transaction is being waited for; 0 outside that wait.
    Pcsc::SCARDHANDLE beginning = 0;

    CardTransaction::Outcome outcome = CardTransaction::Outcome::Failed;
    qint32 code = 0;
    Pcsc::SCARDHANDLE handle = 0;
    quint32 protocol = 0;
    bool began = false;
    bool startedOver = false;
};
