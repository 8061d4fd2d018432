#pragma once

#include "card/CardFileLayout.h"

#include <QMap>
#include <QString>

// One elementary file of the card application with its layout per variant
// key; a card whose variant matches no key does not carry the file.
struct CardAppLayout
{
    quint16 fid = 0;
    QString name;
    bool inTachoDF = false;
    bool signedFile = false;
    QMap<quint16, CardFileLayout> layouts;
};
