#pragma once

#include <QMetaType>

// How our own work with a reader's card stands, for the window's picture of
// the card: the service's in-use bit comes late or not at all for our own
// connections, and tells nothing between two of them.
enum class CardWork : quint8 {
    Started,
    // Ended, and the service says nobody holds the card.
    EndedFree,
    // Ended, and another program holds the card.
    EndedHeld,
    // Ended, and the card worked with has left the reader meanwhile.
    EndedCardGone,
};

Q_DECLARE_METATYPE(CardWork)
