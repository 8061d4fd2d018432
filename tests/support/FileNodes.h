#pragma once

// Devices, pipes and links a test puts where the program expects a regular
// file, and what stands at a path afterwards, to show that the program left
// it as it was.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// A character device node (as root), such as 1:5, which reads as endless zeros.
inline bool makeDevice(const QString &path, unsigned major, unsigned minor)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(major, minor)) == 0;
}

// "device 1:5", "pipe", "link to TARGET", "nothing" or "other", links not followed.
inline QString nodeAt(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0)
        return QStringLiteral("nothing");
    if (S_ISCHR(info.st_mode))
        return QStringLiteral("device %1:%2").arg(major(info.st_rdev)).arg(minor(info.st_rdev));
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("pipe");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    return QStringLiteral("other");
}
