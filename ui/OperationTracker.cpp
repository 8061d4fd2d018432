#include "ui/OperationTracker.h"

void OperationTracker::requested()
{
    awaited = ++requests;
    running = true;
}

OperationTracker::Finish OperationTracker::finished()
{
    if (++finishes != awaited)
        return Finish::Other;
    awaited = 0;
    const bool undisturbed = running;
    running = false;
    return undisturbed ? Finish::Awaited : Finish::Interrupted;
}

void OperationTracker::interrupted()
{
    running = false;
}

void OperationTracker::cancelled()
{
    awaited = 0;
    running = false;
}

bool OperationTracker::busy() const
{
    return running;
}

bool OperationTracker::waiting() const
{
    return awaited != 0;
}
