#pragma once

#include <QByteArray>
#include <QString>

// Writes a .ddd image into a folder. An existing file is never replaced: a
// taken name gets a numbered suffix. The file appears complete or not at all.
class DddFileWriter
{
public:
    explicit DddFileWriter(const QString &folder);
    // Removes a claimed name that never received its image.
    ~DddFileWriter();

    DddFileWriter(const DddFileWriter &) = delete;
    DddFileWriter &operator=(const DddFileWriter &) = delete;

    // Takes the name with an empty placeholder, which proves the folder
    // writable. `name` must be a bare file name (see DddFileName).
    bool claim(const QString &name);
    // Replaces the placeholder of the claimed name by the image.
    bool write(const QByteArray &image);

    // The full path claimed, or of the step that failed.
    QString path() const { return m_path; }
    // QFileDevice::FileError and its text for a failed step.
    int errorCode() const { return m_errorCode; }
    QString errorText() const { return m_errorText; }

private:
    bool fail(int code, const QString &text);

    QString m_folder;
    QString m_path;
    bool m_claimed = false;
    bool m_written = false;
    int m_errorCode = 0;
    QString m_errorText;
};
