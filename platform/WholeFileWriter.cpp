#include "platform/WholeFileWriter.h"

#include "platform/SystemErrorText.h"

#include <cerrno>

WholeFileWriter::WholeFileWriter(const QString &path) : m_file(path)
{
}

// errno is cleared first, so that a number found after a failure is the
// failed call's own.
bool WholeFileWriter::open()
{
    errno = 0;
    return m_file.open(QIODevice::WriteOnly) || fail(QFileDevice::OpenError);
}

bool WholeFileWriter::write(const QByteArray &bytes)
{
    errno = 0;
    return m_file.write(bytes) == bytes.size() || fail(QFileDevice::WriteError);
}

// Buffered bytes meet a full disk only at the flush; commit alone may not tell.
bool WholeFileWriter::commit()
{
    errno = 0;
    if (!m_file.flush())
        return fail(QFileDevice::WriteError);
    errno = 0;
    return m_file.commit() || fail(QFileDevice::WriteError);
}

bool WholeFileWriter::fail(QFileDevice::FileError fallback)
{
    const int error = errno;
    m_errorCode = m_file.error() == QFileDevice::NoError ? int(fallback) : int(m_file.error());
    m_errorText = systemErrorText(error, m_file.errorString());
    return false;
}
