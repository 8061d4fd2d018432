#pragma once

#include <QString>

#include <functional>

// An exclusive flock(2) on a small file beside what several copies of the
// program share. The kernel lets the lock go with its holder's descriptor,
// also when the holder dies: the lock file's presence or content never means
// that anyone holds it.
class FileLock
{
public:
    enum class Outcome { Locked, Busy, Cancelled, NotOwnFile, Failed };

    explicit FileLock(const QString &path);
    // Lets the lock go; the file stays.
    ~FileLock();

    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Creates the file when it is missing. Anything but a regular file of
    // this user (a pipe, a device, a folder, a link) is refused at once. Asks
    // again in short slices until `waitMs` have passed or `cancelled` says so.
    Outcome lock(int waitMs, const std::function<bool()> &cancelled);
    // The system's reason after Failed.
    QString errorText() const { return m_errorText; }

private:
    Outcome fail(Outcome outcome, int error = 0);

    QString m_path;
    int m_fd = -1;
    QString m_errorText;
};
