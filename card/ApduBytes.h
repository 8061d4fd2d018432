#pragma once

#include <QByteArray>

#include <initializer_list>

// An APDU written as its bytes.
inline QByteArray apduBytes(std::initializer_list<quint8> bytes)
{
    QByteArray apdu;
    apdu.reserve(int(bytes.size()));
    for (const quint8 byte : bytes)
        apdu.append(char(byte));
    return apdu;
}
