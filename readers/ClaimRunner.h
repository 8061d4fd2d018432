#pragma once

#include "platform/Pcsc.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct CardClaim;

// A thread with a PC/SC context of its own that makes the claims, which
// another program may make wait (see CardClaim). Kept from one claim to the next,
// so a hold costs neither a thread nor a context of its own. A runner serves
// one claim at a time, and stays taken while the hold it made lasts: the
// hold's handle lives in its context. A claim given up keeps its runner
// until pcscd answers the claim.
class ClaimRunner
{
public:
    // An idle runner; a new one when every runner is taken.
    static std::shared_ptr<ClaimRunner> take();
    // At the program's end: every runner stops, a transaction still waited
    // for is given up. False when a runner is still inside a connect after
    // `waitMs` (pcscd holds it while another program keeps the card's
    // transaction): the process must then end without returning from main,
    // or pcsc-lite's clean-up at exit would run under that thread.
    static bool stopAll(int waitMs);

    ClaimRunner();
    ClaimRunner(const ClaimRunner &) = delete;
    ClaimRunner &operator=(const ClaimRunner &) = delete;

    // Runs the claim in the runner's thread.
    void run(const std::shared_ptr<CardClaim> &claim);
    // The hold made by the runner's last claim has ended.
    void giveBack();

private:
    void loop();
    void runClaim(const std::shared_ptr<CardClaim> &claim);
    bool stop(int waitMs);

    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<CardClaim> job;
    bool taken = false;
    bool stopping = false;
    bool ended = false;
    Pcsc::SCARDCONTEXT context = 0;
    // Joined by stopAll(); until then the pool keeps every runner.
    std::thread thread;
};
