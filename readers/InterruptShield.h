#pragma once

#include "readers/CardReader.h"

// While it lives, a cancel does not refuse the reader's commands: they put
// the card's own bytes back, and the card must never keep a test value or a
// download date whose file was not saved. Worker thread only.
class InterruptShield
{
public:
    explicit InterruptShield(CardReader &reader)
        : reader(reader), readerWas(reader.ignoresInterrupt), cardWas(reader.card.ignoresInterrupt)
    {
        reader.ignoresInterrupt = true;
        reader.card.ignoresInterrupt = true;
    }
    ~InterruptShield()
    {
        reader.ignoresInterrupt = readerWas;
        reader.card.ignoresInterrupt = cardWas;
    }

    InterruptShield(const InterruptShield &) = delete;
    InterruptShield &operator=(const InterruptShield &) = delete;

private:
    CardReader &reader;
    const bool readerWas;
    const bool cardWas;
};
