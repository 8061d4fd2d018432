#pragma once

#include "platform/Pcsc.h"
#include "readers/CardTransaction.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// A thread with a PC/SC context of its own that claims the card for a hold:
// the connect and the card's transaction, either of which another program
// may make wait for as long as it likes, while the caller waits bounded and
// cancellable. Kept from one claim to the next, so a hold costs neither a
// thread nor a context of its own.
//
// One mutex guards the claim and the runner's bookkeeping together, so the
// hold has one owner at every moment: the runner while it claims; the
// caller from the claim's end until it gives the runner back; for a claim
// given up, whichever of the give-up and the claim's end comes second, and
// that one lets the card go.
class ClaimRunner
{
public:
    // What a claim got.
    struct Claim
    {
        CardTransaction::Outcome outcome = CardTransaction::Outcome::Failed;
        Pcsc::SCARDHANDLE handle = 0;
        quint32 protocol = 0;
        bool began = false;
        bool startedOver = false;
    };

    // A free runner, or a new one when every runner is taken, claiming the
    // card in `reader` in its thread. `mayStartOver`: the claim may take the
    // card back after another program's reset met at the transaction.
    static std::shared_ptr<ClaimRunner> claim(const QString &reader, bool mayStartOver);
    // At the program's end: every runner stops, a transaction still waited
    // for is given up. False when a runner is still inside a connect after
    // `waitMs` (pcscd holds it while another program keeps the card's
    // transaction): the process must then end without returning from main,
    // or pcsc-lite's clean-up at exit would run under that thread.
    static bool stopAll(int waitMs);

    ClaimRunner();
    ClaimRunner(const ClaimRunner &) = delete;
    ClaimRunner &operator=(const ClaimRunner &) = delete;

    // Waits at most `slice` for the claim's end: true with what it got. Also
    // returns once another program is first found holding the card
    // exclusively, `refused` then true.
    bool waitForEnd(std::chrono::milliseconds slice, Claim *got, bool *refused);
    // The caller leaves the claim and forgets the runner; the card is let go
    // now, when the claim has ended, or else by the runner as it ends.
    void giveUp();
    // The claim failed, or the hold it made has ended: the runner is free.
    void giveBack();

private:
    enum class State {
        Free,
        Claiming,
        // The caller left while the runner claims.
        GivenUp,
        // The claim is the caller's.
        Ended,
    };

    void loop();
    void stop();
    bool waitStopped(int waitMs);
    // In the runner's thread (ClaimRunnerClaim.cpp).
    Claim makeClaim(const QString &reader, bool mayStartOver);
    qint32 connect(const QString &reader, Claim &got);
    bool waitAfterRefusal();
    qint32 begin(Claim &got, bool mayStartOver);
    qint32 beginTransaction(Claim &got);
    // True while the caller still waits for the claim. Under the mutex.
    bool wanted() const { return state == State::Claiming && !stopping; }
    // A transaction still waited for ends when its handle goes. Under the mutex.
    void endBeginWait();
    // Nothing was sent: the card is left as it is.
    static void release(const Claim &got);

    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Free;
    QString reader;
    bool mayStartOver = true;
    Claim ended;
    // Another program holds the card exclusively.
    bool refused = false;
    // The handle whose transaction is being waited for; 0 outside that wait,
    // and once endBeginWait() has disconnected it.
    Pcsc::SCARDHANDLE beginning = 0;
    bool stopping = false;
    bool stopped = false;
    // The runner's thread only.
    Pcsc::SCARDCONTEXT context = 0;
    // Joined by stopAll(); until then the pool keeps every runner.
    std::thread thread;
};
