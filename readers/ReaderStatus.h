#pragma once

#include <QString>
#include <QtGlobal>

// What the PC/SC service says of one reader at this moment, asked without
// waiting. `cardEvents` counts insertions and removals, so a card that
// left and came back shows as another count.
struct ReaderStatus
{
    bool known = false;
    bool cardPresent = false;
    // Some connection holds the card, shared or exclusive.
    bool cardHeld = false;
    quint32 cardEvents = 0;
};

ReaderStatus readerStatus(quint64 context, const QString &reader);
