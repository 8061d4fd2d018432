#pragma once

#include <QMap>
#include <QString>

class TachographCard;

// The card information view's rows for the card: field key -> display value,
// only the keys that apply to the card's kind and type. Runs in the thread
// that owns the card.
QMap<QString, QString> cardInfoRows(const TachographCard &card);
