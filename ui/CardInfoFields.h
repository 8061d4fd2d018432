#pragma once

#include <QMap>
#include <QString>
#include <QVector>

// Captions of the card information keys and the order in which the card
// information view lists them.
const QMap<QString, QString>& fieldCaptions();
const QVector<QString>& cardInfoFieldOrder();
