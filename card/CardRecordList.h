#pragma once

#include "card/CardDataElement.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// The 24-byte event or fault records decoded from one field, one map from
// field name to element per non-blank record, in file order.
struct CardRecordList
{
    QString name;
    QByteArray raw;
    QVector<QMap<QString, CardDataElement>> records;
};
