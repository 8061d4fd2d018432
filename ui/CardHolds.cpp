#include "ui/CardHolds.h"

void CardHolds::cardInserted(const QString &reader)
{
    Hold &hold = holds[reader];
    hold.cardShown = true;
    hold.others = false;
    hold.pulledInWork = false;
}

bool CardHolds::cardRemoved(const QString &reader)
{
    Hold &hold = holds[reader];
    const bool inUse = hold.cardShown && hold.inUse();
    hold.cardShown = false;
    hold.others = false;
    hold.pulledInWork = false;
    hold.removedInWork = hold.ours;
    return inUse;
}

void CardHolds::readerRemoved(const QString &reader)
{
    holds.remove(reader);
}

void CardHolds::serviceReports(const QString &reader, bool held)
{
    holds[reader].others = held;
}

void CardHolds::ourWork(const QString &reader, CardWork work)
{
    Hold &hold = holds[reader];
    if (work == CardWork::Started) {
        hold.ours = true;
        hold.removedInWork = false;
        return;
    }
    hold.ours = false;
    if (hold.removedInWork) {
        hold.removedInWork = false;
        return;
    }
    // Fresh from the service once our connections are closed: whatever the
    // monitor said during the work may have been our own connection.
    hold.others = work == CardWork::EndedHeld;
    hold.pulledInWork = work == CardWork::EndedCardGone;
}

CardHolds::Picture CardHolds::picture(const QString &reader) const
{
    const Hold hold = holds.value(reader);
    if (!hold.cardShown)
        return Picture::NoCard;
    return hold.inUse() ? Picture::InUse : Picture::Free;
}
