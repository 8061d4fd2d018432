#pragma once

#include <QByteArray>

#include <initializer_list>

// An APDU written as its bytes.
inline QByteArray apduBytes(std::initializer_list<quint8> bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.begin()), int(bytes.size()));
}
