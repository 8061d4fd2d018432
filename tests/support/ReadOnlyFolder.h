#pragma once

// A folder that not even root can write to: a read-only bind mount of the
// folder over itself. Only inside the test's own mount namespace (the card
// tests' sandbox), so nothing outside the test sees it; undone when it goes.

#include <QProcess>
#include <QString>
#include <QStringList>

class ReadOnlyFolder
{
public:
    // An empty path makes nothing read-only.
    explicit ReadOnlyFolder(const QString &path)
        : path(path)
    {
        if (path.isEmpty() || qEnvironmentVariableIsEmpty("DRVP_IN_SANDBOX"))
            return;
        mounted = QProcess::execute("mount", {"--bind", path, path}) == 0;
        readOnly = mounted && QProcess::execute("mount", {"-o", "remount,bind,ro", path}) == 0;
    }
    ~ReadOnlyFolder() { release(); }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    bool isReadOnly() const { return readOnly; }
    // Writable again.
    void release()
    {
        if (mounted)
            QProcess::execute("umount", {path});
        mounted = readOnly = false;
    }

private:
    QString path;
    bool mounted = false;
    bool readOnly = false;
};
