#pragma once

// A folder on a small tmpfs of its own, which fill() leaves without a free
// block: every write into it fails with ENOSPC. Only inside the test's own
// mount namespace (the card tests' sandbox), so nothing outside the test
// sees it; unmounted when it goes.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

class FullFolder
{
public:
    explicit FullFolder(const QString &path) : path(path)
    {
        if (path.isEmpty() || qEnvironmentVariableIsEmpty("DRVP_IN_SANDBOX") || !QDir().mkpath(path))
            return;
        mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", path}) == 0;
    }
    ~FullFolder()
    {
        // Lazily: a file the program keeps open there must not keep it.
        if (mounted)
            QProcess::execute("umount", {"-l", path});
    }
    FullFolder(const FullFolder &) = delete;
    FullFolder &operator=(const FullFolder &) = delete;

    // Once the files the test puts there first are in.
    bool fill()
    {
        QFile filler(path + "/filler");
        if (!mounted || !filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, '\0');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        return true;
    }

private:
    QString path;
    bool mounted = false;
};
