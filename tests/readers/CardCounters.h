#pragma once

#include <QFile>
#include <QMap>
#include <QString>

// The PIN and PUK state the virtual card held when it left (counters.txt of
// its --dump folder): "pin" (hexadecimal), "pin-tries", "puk-tries", ...
inline QMap<QString, QString> readCardCounters(const QString &folder)
{
    QMap<QString, QString> counters;
    QFile file(folder + QStringLiteral("/counters.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return counters;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            counters.insert(QString::fromLatin1(line.left(equals)), QString::fromLatin1(line.mid(equals + 1)));
    }
    return counters;
}
