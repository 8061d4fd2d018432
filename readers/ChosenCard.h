#pragma once

#include <QByteArray>
#include <QString>

// A card as its identification saw it: what an operation started for it
// proves in each of its holds, from the card's own bytes, so that nothing
// meant for this card reaches another one that took its place.
struct ChosenCard
{
    // The card number's bytes (EF 0520) and the chip's file (EF ICC); empty
    // when they were not read.
    QByteArray number;
    QByteArray icc;
    // The number as the log shows it.
    QString numberText;
};
