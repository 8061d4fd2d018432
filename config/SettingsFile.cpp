#include "config/SettingsFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>

#include <sys/stat.h>

namespace {

// What stands where a regular file should be.
QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("папка");
    if (S_ISFIFO(mode))
        return QStringLiteral("канал");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("устройство");
    if (S_ISSOCK(mode))
        return QStringLiteral("сокет");
    if (S_ISLNK(mode))
        return QStringLiteral("символьная ссылка");
    return QStringLiteral("особый файл");
}

// Empty when nothing is at path or a regular file is; otherwise why it may
// not be used. `file` names it in the genitive. A file missing its folder
// counts as absent: writing it then fails and says why.
QString obstacleAt(const QString &path, bool followLinks, const QString &file)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    const int result = followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info);
    if (result != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return QString();
        return QStringLiteral("ошибка проверки %1: %2").arg(file, qt_error_string(errno));
    }
    if (S_ISREG(info.st_mode))
        return QString();
    return QStringLiteral("на месте %1 находится %2").arg(file, kindOf(info.st_mode));
}

} // namespace

QString settingsFilePath()
{
    // As QSettings finds its native file on Linux.
    return QStringLiteral("%1/%2/%3.conf")
        .arg(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
             QCoreApplication::organizationName(), QCoreApplication::applicationName());
}

QString settingsFileObstacle(const QString &path)
{
    const QString obstacle = obstacleAt(path, true, QStringLiteral("файла"));
    if (!obstacle.isEmpty())
        return obstacle;
    // Each write takes a lock file beside it (and another to remove a stale
    // one). A lock already there is read to see whether it is stale, which
    // would hold the program on a pipe, and a link that leads nowhere is
    // never taken for stale, so the store would wait for it forever.
    for (const QString &lock : {path + QStringLiteral(".lock"), path + QStringLiteral(".lock.rmlock")}) {
        const QString found = obstacleAt(lock, false, QStringLiteral("файла блокировки \"%1\"").arg(lock));
        if (!found.isEmpty())
            return found;
    }
    return QString();
}
