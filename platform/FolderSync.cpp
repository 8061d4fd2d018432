#include "platform/FolderSync.h"

#include "platform/SystemErrorText.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

bool syncFolder(const QString &folder, QString *failure)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (!synced)
        *failure = systemErrorText(errno, QString());
    if (fd >= 0)
        ::close(fd);
    return synced;
}
