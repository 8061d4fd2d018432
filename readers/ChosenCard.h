#pragma once

#include <QByteArray>
#include <QString>

// A card as its identification saw it: what an operation started for it
// checks in each of its holds, so that nothing meant for this card reaches
// another one that took its place.
struct ChosenCard
{
    // pcscd's count of card insertions and removals in the reader then.
    quint32 cardEvents = 0;
    bool cardEventsKnown = false;
    // The card number's bytes (EF 0520) and the chip's file (EF ICC); empty
    // when they were not read.
    QByteArray number;
    QByteArray icc;
    // The number as the log shows it.
    QString numberText;
};
