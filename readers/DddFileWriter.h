#pragma once

#include "platform/DraftFile.h"

#include <QByteArray>
#include <QString>

// Writes a .ddd image into a folder. An existing file is never replaced: a
// taken name gets a numbered suffix. The file appears whole under its name or
// not at all, even when the program is killed or the power fails.
class DddFileWriter
{
public:
    explicit DddFileWriter(const QString &folder);

    DddFileWriter(const DddFileWriter &) = delete;
    DddFileWriter &operator=(const DddFileWriter &) = delete;

    // Proves the folder writable by preparing the image's file under a hidden
    // name; nothing appears under a .ddd name yet. `name` must be a bare file
    // name (see DddFileName).
    bool claim(const QString &name);
    // Puts the image in the folder under the claimed name, or the first
    // alternative free at that moment.
    bool write(const QByteArray &image);

    // The full path the image gets (after a claim: if its name is still free
    // then), or of the step that failed.
    QString path() const { return m_path; }
    // QFileDevice::FileError and its text for a failed step.
    int errorCode() const { return m_errorCode; }
    QString errorText() const { return m_errorText; }

    // Removes what writers killed in `folder` left behind, never the file of a
    // writer still alive in this or another program; returns how many went.
    static int removeLeftovers(const QString &folder);

private:
    QString alternative(int n) const;
    bool fail(int code, const QString &text);

    QString m_folder;
    QString m_name;
    QString m_path;
    DraftFile m_draft;
    int m_alternative = 0;
    int m_errorCode = 0;
    QString m_errorText;
};
