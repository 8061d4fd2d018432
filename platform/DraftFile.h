#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// A file written and synced under a hidden name of ours in its folder, then
// linked in under its real name, which never replaces an existing entry: the
// real name shows the whole file or nothing. The draft stays locked while its
// writer lives, so a draft nobody holds was left by a program that died.
class DraftFile
{
public:
    enum class Placed { Done, NameTaken, Failed };

    DraftFile() = default;
    // Removes a draft that was not placed.
    ~DraftFile();

    DraftFile(const DraftFile &) = delete;
    DraftFile &operator=(const DraftFile &) = delete;

    // Creates the draft, which proves the folder writable.
    bool create(const QString &folder);
    // Writes all of `bytes` and syncs them to the disk.
    bool write(const QByteArray &bytes);
    // Gives the draft the bare file name `name` and syncs the folder, so the
    // name survives a power cut. NameTaken leaves the draft as it was.
    Placed place(const QString &name);

    // After a failure, which discards the draft: its QFileDevice::FileError
    // and the system's reason (see systemErrorText).
    int errorCode() const { return m_errorCode; }
    QString errorText() const { return m_errorText; }

    // Removes the drafts in `folder` that no living writer holds; returns how
    // many went.
    static int removeAbandoned(const QString &folder);

private:
    bool stillNamed() const;
    // `error` is the errno of the failed call.
    bool fail(QFileDevice::FileError code, int error);
    void discard();

    int m_folder = -1;
    int m_file = -1;
    QByteArray m_draftName;
    int m_errorCode = 0;
    QString m_errorText;
};
