#include "config/SmallFile.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString notRegularText = QStringLiteral("Это не обычный файл (папка, канал или устройство)");
const QString tooLargeText = QStringLiteral("Размер файла больше %1 КБ").arg(SmallFile::maxSize / 1024);

} // namespace

SmallFile::SmallFile(const QString &path)
    : m_path(path)
{
}

bool SmallFile::read()
{
    m_bytes.clear();
    m_error = QFileDevice::NoError;
    m_errorString.clear();
    const QByteArray name = QFile::encodeName(m_path);
    struct stat info = {};
    // Opening a device may itself act on it, so the type is checked first.
    if (::stat(name.constData(), &info) != 0)
        return fail(QFileDevice::OpenError, qt_error_string(errno));
    if (!S_ISREG(info.st_mode))
        return fail(QFileDevice::OpenError, notRegularText);
    // Non-blocking, as the path may have turned into a FIFO since the check.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QFileDevice::OpenError, qt_error_string(errno));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(QFileDevice::OpenError, notRegularText);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QFileDevice::OpenError, file.errorString());
    }
    if (info.st_size > maxSize)
        return fail(QFileDevice::ReadError, tooLargeText);
    // One byte more than allowed tells a file that grew since fstat.
    m_bytes = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(QFileDevice::ReadError, file.errorString());
    if (m_bytes.size() > maxSize)
        return fail(QFileDevice::ReadError, tooLargeText);
    return true;
}

bool SmallFile::fail(QFileDevice::FileError error, const QString &text)
{
    m_bytes.clear();
    m_error = error;
    m_errorString = text;
    return false;
}
