#pragma once

#include <QFileDevice>
#include <QSaveFile>
#include <QString>

// A file that appears whole or not at all (a QSaveFile), keeping the
// system's reason for the first step that failed. Qt loses it: a write that
// a full disk cuts short sets no error at all, and a commit whose closing
// flush has nothing left to write clears an earlier one.
class WholeFileWriter
{
public:
    explicit WholeFileWriter(const QString &path);

    // Each step is taken only while the ones before it succeeded.
    bool open();
    bool write(const QByteArray &bytes);
    // Flushes and puts the file in place. Until it succeeds nothing new is at
    // the path: the written bytes go when the writer does.
    bool commit();

    // After a failure: its QFileDevice::FileError (never NoError) and the
    // system's reason (see systemErrorText).
    int errorCode() const { return m_errorCode; }
    QString errorText() const { return m_errorText; }

private:
    // Must run right after the failed call, before anything else may set errno.
    bool fail(QFileDevice::FileError fallback);

    QSaveFile m_file;
    int m_errorCode = 0;
    QString m_errorText;
};
