#pragma once

#include <QString>

// The text of a card state in Windows numbering (1 absent ... 6 specific);
// empty when the state has no row.
QString findCardStateText(quint32 state);
