#pragma once

#include "readers/CardWork.h"

#include <QHash>
#include <QString>

// Who holds the card of each reader, as far as the window can tell: our own
// work from the reader manager, other programs from the monitor. The row's
// icon and the warning for a card pulled while in use both follow from it.
class CardHolds
{
public:
    enum class Picture { NoCard, Free, InUse };

    void cardInserted(const QString &reader);
    // True when the card left while the row showed it in use, or while our
    // own work had it.
    bool cardRemoved(const QString &reader);
    void readerRemoved(const QString &reader);
    // The monitor's word: some connection holds the card, or none does.
    void serviceReports(const QString &reader, bool held);
    void ourWork(const QString &reader, CardWork work);

    Picture picture(const QString &reader) const;

private:
    struct Hold
    {
        bool cardShown = false;
        bool ours = false;
        bool others = false;
        // Our work found its card gone; the monitor's removal is yet to come.
        bool pulledInWork = false;
        // The removal came while our work ran: its end has nothing to add.
        bool removedInWork = false;

        bool inUse() const { return ours || others || pulledInWork; }
    };

    QHash<QString, Hold> holds;
};
