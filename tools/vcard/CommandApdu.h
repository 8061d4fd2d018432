#pragma once

#include <QByteArray>
#include <QtGlobal>

// A short command APDU split into header, data and expected length.
struct CommandApdu
{
    quint8 cla = 0;
    quint8 ins = 0;
    quint8 p1 = 0;
    quint8 p2 = 0;
    QByteArray data;
    bool hasLe = false;
    int le = 0; // 1 to 256 when hasLe (a Le byte of 0 asks for 256)

    quint16 p1p2() const { return quint16((p1 << 8) | p2); }

    // False when the bytes are no well-formed short APDU (cases 1 to 4).
    static bool parse(const QByteArray &bytes, CommandApdu *apdu);
};
