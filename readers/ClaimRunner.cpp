#include "readers/ClaimRunner.h"

#include <vector>

namespace {

struct Runners
{
    std::mutex mutex;
    std::vector<std::shared_ptr<ClaimRunner>> all;
};

// Lives as long as the process: a runner may still be waiting for pcscd when
// the program ends.
Runners &runners()
{
    static Runners &all = *new Runners;
    return all;
}

} // namespace

std::shared_ptr<ClaimRunner> ClaimRunner::claim(const QString &cardReader, bool startOver)
{
    Runners &pool = runners();
    std::shared_ptr<ClaimRunner> free;
    {
        const std::lock_guard<std::mutex> locked(pool.mutex);
        for (const std::shared_ptr<ClaimRunner> &runner : pool.all) {
            const std::lock_guard<std::mutex> runnerLocked(runner->mutex);
            if (runner->state == State::Free && !runner->stopping) {
                free = runner;
                break;
            }
        }
        if (!free) {
            free = std::make_shared<ClaimRunner>();
            pool.all.push_back(free);
        }
        const std::lock_guard<std::mutex> runnerLocked(free->mutex);
        free->state = State::Claiming;
        free->reader = cardReader;
        free->mayStartOver = startOver;
        free->ended = Claim();
        free->refused = false;
    }
    free->changed.notify_all();
    return free;
}

bool ClaimRunner::stopAll(int waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    Runners &pool = runners();
    const std::lock_guard<std::mutex> locked(pool.mutex);
    for (const std::shared_ptr<ClaimRunner> &runner : pool.all)
        runner->stop();
    bool stoppedAll = true;
    for (const std::shared_ptr<ClaimRunner> &runner : pool.all) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        stoppedAll = runner->waitStopped(int(qMax<qint64>(0, left.count()))) && stoppedAll;
    }
    return stoppedAll;
}

ClaimRunner::ClaimRunner() : thread([this] { loop(); })
{
}

bool ClaimRunner::waitForEnd(std::chrono::milliseconds slice, Claim *got, bool *refusedNow)
{
    const bool refusedKnown = *refusedNow;
    std::unique_lock<std::mutex> locked(mutex);
    changed.wait_for(locked, slice, [&] { return state == State::Ended || refused != refusedKnown; });
    *refusedNow = refused;
    if (state != State::Ended)
        return false;
    *got = ended;
    return true;
}

void ClaimRunner::giveUp()
{
    std::unique_lock<std::mutex> locked(mutex);
    if (state == State::Claiming) {
        state = State::GivenUp;
        endBeginWait();
        changed.notify_all();
        return;
    }
    // Ended first: the card is the caller's, and nobody else's, to let go.
    const Claim got = ended;
    locked.unlock();
    release(got);
    giveBack();
}

void ClaimRunner::giveBack()
{
    const std::lock_guard<std::mutex> locked(mutex);
    state = State::Free;
}

// The claim's end and the caller's give-up are decided under the same lock:
// whichever comes second lets the card go.
void ClaimRunner::loop()
{
    std::unique_lock<std::mutex> locked(mutex);
    for (;;) {
        changed.wait(locked, [this] { return state == State::Claiming || stopping; });
        if (state != State::Claiming)
            break;
        const QString cardReader = reader;
        const bool startOver = mayStartOver;
        locked.unlock();
        const Claim got = makeClaim(cardReader, startOver);
        locked.lock();
        if (state == State::Claiming) {
            ended = got;
            state = State::Ended;
            changed.notify_all();
            continue;
        }
        locked.unlock();
        release(got);
        locked.lock();
        state = State::Free;
    }
    if (context)
        Pcsc::SCardReleaseContext(context);
    context = 0;
    stopped = true;
    changed.notify_all();
}

void ClaimRunner::endBeginWait()
{
    if (!beginning)
        return;
    Pcsc::SCardDisconnect(beginning, Pcsc::SCARD_LEAVE_CARD);
    beginning = 0;
}

void ClaimRunner::release(const Claim &got)
{
    if (got.began)
        Pcsc::SCardEndTransaction(got.handle, Pcsc::SCARD_LEAVE_CARD);
    if (got.handle)
        Pcsc::SCardDisconnect(got.handle, Pcsc::SCARD_LEAVE_CARD);
}

void ClaimRunner::stop()
{
    const std::lock_guard<std::mutex> locked(mutex);
    stopping = true;
    endBeginWait();
    changed.notify_all();
}

bool ClaimRunner::waitStopped(int waitMs)
{
    std::unique_lock<std::mutex> locked(mutex);
    if (!changed.wait_for(locked, std::chrono::milliseconds(waitMs), [this] { return stopped; }))
        return false;
    locked.unlock();
    if (thread.joinable())
        thread.join();
    return true;
}
