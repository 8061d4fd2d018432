#pragma once

#include <QByteArray>
#include <QString>

// Writes a .ddd image into a folder. An existing file is never replaced: a
// taken name gets a numbered suffix. The file appears complete or not at all.
class DddFileWriter
{
public:
    explicit DddFileWriter(const QString &folder);

    // `name` must be a bare file name (see DddFileName).
    bool write(const QString &name, const QByteArray &image);

    // The full path written, or of the step that failed.
    QString path() const { return m_path; }
    // QFileDevice::FileError and its text for a failed write.
    int errorCode() const { return m_errorCode; }
    QString errorText() const { return m_errorText; }

private:
    bool reserveName(const QString &name);
    bool fail(int code, const QString &text);

    QString m_folder;
    QString m_path;
    int m_errorCode = 0;
    QString m_errorText;
};
