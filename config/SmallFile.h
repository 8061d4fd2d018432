#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// A small regular file read whole. A FIFO, a device, a folder or a file above
// maxSize is refused without waiting on it, so a path in the settings can
// never hang the program or fill its memory.
class SmallFile
{
public:
    static constexpr qint64 maxSize = 256 * 1024;

    explicit SmallFile(const QString &path);

    bool read();
    const QByteArray &bytes() const { return m_bytes; }
    // As QFile reports them: OpenError when the file cannot be used at all.
    QFileDevice::FileError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

private:
    bool fail(QFileDevice::FileError error, const QString &text);

    QString m_path;
    QByteArray m_bytes;
    QFileDevice::FileError m_error = QFileDevice::NoError;
    QString m_errorString;
};
