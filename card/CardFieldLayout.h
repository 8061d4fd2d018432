#pragma once

#include <QString>

// One field of a file layout, or of a repeated 24-byte record: the fields
// lie one behind the other, so the sizes give the offsets.
struct CardFieldLayout
{
    QString name;
    quint16 minSize = 0;
    quint16 maxSize = 0;
    QString valueType; // decoder name; empty for bytes that are kept but not decoded
};

using RecordFieldLayout = CardFieldLayout;
