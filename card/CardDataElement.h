#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// One decoded field: the bytes it came from and the value its decoder made.
struct CardDataElement
{
    QString name;
    QString type;
    QByteArray raw;
    QVariant value;
};
