#pragma once

#include "platform/Pcsc.h"

#include <QString>

#include <functional>
#include <memory>

class ClaimRunner;

// Our hold on the card for one stretch of commands: a connection with the
// card's PC/SC transaction from its connect to its end, so no other program's
// command or reset lands between ours. The holder starts the stretch on a
// card reset inside the hold (see CardReader::returnToMasterFile).
//
// pcscd makes a connect wait as long as another program holds the card's
// transaction, and neither SCardCancel nor releasing the context from another
// thread ends that wait; a look at the reader just before cannot rule it
// out, another program may begin in between. So the connect and the
// transaction's start always run in a ClaimRunner's thread while the caller
// waits for them, bounded and cancellable; a claim given up lets the card go
// as soon as pcscd answers it.
class CardTransaction
{
public:
    enum class Outcome {
        Held,
        // The connect failed for a reason of its own: no card, no service...
        Failed,
        // Another program kept the card, by its transaction or exclusively,
        // for the whole wait.
        HeldElsewhere,
        Cancelled,
        // Another program reset the card, and the stretch may not start over.
        ResetAgain,
    };

    struct Wait
    {
        // Polled while the card does not come; true gives the claim up.
        std::function<bool()> cancelled;
        // Called once, when the card does not come at once.
        std::function<void()> waiting;
        // Whether the stretch may start over after another program's reset.
        bool mayStartOver = true;
    };

    static constexpr int waitLimitMs = 10000;

    CardTransaction(const QString &reader, const Wait &wait);
    ~CardTransaction();
    CardTransaction(const CardTransaction &) = delete;
    CardTransaction &operator=(const CardTransaction &) = delete;

    Outcome outcome() const { return m_outcome; }
    Pcsc::SCARDHANDLE handle() const { return m_handle; }
    quint32 protocol() const { return m_protocol; }
    // The hold got over another program's reset on its way.
    bool startedOver() const { return m_startedOver; }

    // Resets the card in our hold; the PC/SC code.
    qint32 reset();
    // After another program's reset met by a command: takes the card back
    // as that reset left it, still in our hold.
    bool takeBack();
    // Resets the card and lets it go; the code of the first call that
    // failed. The destructor ends a hold not ended.
    qint32 end();

private:
    qint32 reconnect(quint32 initialization);

    Outcome m_outcome = Outcome::Failed;
    Pcsc::SCARDHANDLE m_handle = 0;
    quint32 m_protocol = 0;
    bool m_began = false;
    bool m_startedOver = false;
    // The runner whose context holds the handle.
    std::shared_ptr<ClaimRunner> m_runner;
};
