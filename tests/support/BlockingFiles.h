#pragma once

// Files a certificate or key path may name that must never be waited on or
// read whole.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>

// A named pipe with no writer: a plain open for reading waits forever.
inline QString makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
}

// A good PEM file padded past the size a certificate or key file may have.
inline QString makeOversized(const QString &path, const QString &pem)
{
    QFile source(pem);
    QFile target(path);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return QString();
    target.write(source.readAll() + QByteArray(256 * 1024, '\n'));
    return path;
}
