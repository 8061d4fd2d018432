#include "tools/daybench/ProcessFigures.h"

#include <QDir>
#include <QFile>

#include <malloc.h>

namespace {

// A "Name:  value kB" line of /proc/self/status.
qint64 statusValue(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

ProcessFigures ProcessFigures::now()
{
    ProcessFigures figures;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.readAll();
        figures.residentKb = statusValue(text, "VmRSS:");
        figures.threads = int(statusValue(text, "Threads:"));
    }
    // One of them is the listing's own, open while it reads the folder.
    figures.descriptors = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                              .size();
    figures.heapBytes = qint64(mallinfo2().uordblks);
    return figures;
}
