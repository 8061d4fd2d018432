#include "readers/ClaimRunner.h"

#include "readers/CardClaim.h"

#include <chrono>
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

std::shared_ptr<ClaimRunner> ClaimRunner::take()
{
    Runners &pool = runners();
    const std::lock_guard<std::mutex> locked(pool.mutex);
    for (const std::shared_ptr<ClaimRunner> &runner : pool.all) {
        const std::lock_guard<std::mutex> runnerLocked(runner->mutex);
        if (!runner->taken && !runner->stopping) {
            runner->taken = true;
            return runner;
        }
    }
    auto runner = std::make_shared<ClaimRunner>();
    runner->taken = true;
    pool.all.push_back(runner);
    return runner;
}

bool ClaimRunner::stopAll(int waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    Runners &pool = runners();
    const std::lock_guard<std::mutex> locked(pool.mutex);
    bool stopped = true;
    for (const std::shared_ptr<ClaimRunner> &runner : pool.all) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        stopped = runner->stop(int(qMax<qint64>(0, left.count()))) && stopped;
    }
    return stopped;
}

ClaimRunner::ClaimRunner() : thread([this] { loop(); })
{
}

void ClaimRunner::run(const std::shared_ptr<CardClaim> &claim)
{
    {
        const std::lock_guard<std::mutex> locked(mutex);
        job = claim;
    }
    wake.notify_all();
}

void ClaimRunner::giveBack()
{
    const std::lock_guard<std::mutex> locked(mutex);
    taken = false;
}

void ClaimRunner::loop()
{
    std::unique_lock<std::mutex> locked(mutex);
    for (;;) {
        wake.wait(locked, [this] { return job || stopping; });
        if (!job)
            break;
        const std::shared_ptr<CardClaim> claim = job;
        locked.unlock();
        claim->run(context);
        bool released = false;
        {
            // A claim given up has let its card go by now: the runner is free.
            const std::lock_guard<std::mutex> claimLocked(claim->mutex);
            released = claim->abandoned;
        }
        locked.lock();
        job.reset();
        if (released)
            taken = false;
    }
    if (context)
        Pcsc::SCardReleaseContext(context);
    context = 0;
    ended = true;
    wake.notify_all();
}

bool ClaimRunner::stop(int waitMs)
{
    std::unique_lock<std::mutex> locked(mutex);
    stopping = true;
    const std::shared_ptr<CardClaim> claim = job;
    locked.unlock();
    if (claim)
        claim->abandon();
    wake.notify_all();
    locked.lock();
    if (!wake.wait_for(locked, std::chrono::milliseconds(waitMs), [this] { return ended; }))
        return false;
    locked.unlock();
    if (thread.joinable())
        thread.join();
    return true;
}
