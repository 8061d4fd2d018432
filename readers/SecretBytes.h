#pragma once

#include <QByteArray>

// Overwrites a PIN or PUK before letting it go, so the bytes do not linger
// in freed memory.
inline void wipe(QByteArray &secret)
{
    if (!secret.isDetached()) {
        secret.clear();
        return;
    }
    secret.fill('\0');
    secret.clear();
}
