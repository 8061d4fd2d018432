#include "config/SmallFile.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 readChunk = 64 * 1024;

const QString notRegularText = QStringLiteral("Это не обычный файл (папка, канал или устройство)");
const QString emptyText = QStringLiteral("Файл пуст");

QString tooLargeText(qint64 maxSize)
{
    constexpr qint64 mebibyte = 1024 * 1024;
    const QString size = maxSize % mebibyte == 0 ? QStringLiteral("%1 МБ").arg(maxSize / mebibyte)
                                                 : QStringLiteral("%1 КБ").arg(maxSize / 1024);
    return QStringLiteral("Размер файла больше %1").arg(size);
}

} // namespace

SmallFile::SmallFile(const QString &path, qint64 maxSize, Empty empty)
    : m_path(path)
    , m_maxSize(maxSize)
    , m_empty(empty)
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
    if (info.st_size > m_maxSize)
        return fail(QFileDevice::ReadError, tooLargeText(m_maxSize));
    if (!readBounded(file, info.st_size))
        return false;
    // The file may have changed since fstat: what was read counts.
    if (m_bytes.size() > m_maxSize)
        return fail(QFileDevice::ReadError, tooLargeText(m_maxSize));
    if (m_bytes.isEmpty() && m_empty == Empty::Refused)
        return fail(QFileDevice::ReadError, emptyText);
    return true;
}

// Up to the end of the file, or one byte past the limit when it grew.
bool SmallFile::readBounded(QFile &file, qint64 sizeHint)
{
    m_bytes.reserve(int(qMin(sizeHint, m_maxSize) + 1));
    while (m_bytes.size() <= m_maxSize) {
        const qint64 room = m_maxSize + 1 - m_bytes.size();
        const qint64 wanted = qMin(room, qMax(sizeHint + 1 - m_bytes.size(), readChunk));
        const int start = m_bytes.size();
        m_bytes.resize(int(start + wanted));
        const qint64 got = file.read(m_bytes.data() + start, wanted);
        m_bytes.resize(start + int(qMax<qint64>(got, 0)));
        if (got < 0)
            return fail(QFileDevice::ReadError, file.errorString());
        if (got == 0)
            break;
    }
    return true;
}

bool SmallFile::fail(QFileDevice::FileError error, const QString &text)
{
    m_bytes.clear();
    m_error = error;
    m_errorString = text;
    return false;
}
