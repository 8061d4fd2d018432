#pragma once

#include <QDir>
#include <QFile>
#include <QMap>

// The files the virtual card held when it left the reader (its --dump folder).
inline QMap<quint16, QByteArray> readCardDump(const QString &folder)
{
    QMap<quint16, QByteArray> files;
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.bin")}, QDir::Files);
    for (const QString &name : names) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.insert(quint16(name.left(4).toUInt(nullptr, 16)), file.readAll());
    }
    return files;
}
