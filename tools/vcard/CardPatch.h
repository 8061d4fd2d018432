#pragma once

#include <QByteArray>
#include <QtGlobal>

// Bytes a test writes over a file before the card starts.
struct CardPatch
{
    quint16 fid = 0;
    int offset = 0;
    QByteArray bytes;
};
