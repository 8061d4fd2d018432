#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

class QFile;

// A regular file the user named, read whole. A FIFO, a device, a folder or a
// file outside the size bounds is refused without waiting on it, so such a
// path can never hang the program or fill its memory.
class SmallFile
{
public:
    // Certificates and keys are a few kilobytes.
    static constexpr qint64 defaultMaxSize = 256 * 1024;

    enum class Empty { Allowed, Refused };

    explicit SmallFile(const QString &path, qint64 maxSize = defaultMaxSize, Empty empty = Empty::Allowed);

    bool read();
    const QByteArray &bytes() const { return m_bytes; }
    // As QFile reports them: OpenError when the file cannot be used at all.
    QFileDevice::FileError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

private:
    bool readBounded(QFile &file, qint64 sizeHint);
    bool fail(QFileDevice::FileError error, const QString &text);

    QString m_path;
    qint64 m_maxSize;
    Empty m_empty;
    QByteArray m_bytes;
    QFileDevice::FileError m_error = QFileDevice::NoError;
    QString m_errorString;
};
