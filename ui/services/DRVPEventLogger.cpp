#include "ui/services/DRVPEventLogger.h"

#include "ui/services/drvpMessageBox.h"

#include <QDateTime>
#include <QDir>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

DRVPEventLogger* eventLogger = new DRVPEventLogger;

DRVPEventLogger::DRVPEventLogger(QObject* parent)
    : QObject(parent)
    , levelNames({QStringLiteral("Info"), QStringLiteral("Warr"), QStringLiteral("Crit")})
    , levelColours({QStringLiteral("92BD6C"), QStringLiteral("ECBC1D"), QStringLiteral("FF7F7F")})
{
}

DRVPEventLogger::~DRVPEventLogger() = default;

void DRVPEventLogger::openLog()
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation);
    const QString folder = locations.value(0);
    const QString filePath = QStringLiteral("%1/dravekpro.log").arg(folder);

    if (folder.isEmpty() || (!QDir(folder).exists() && !QDir().mkpath(folder))) {
        showFailure(QStringLiteral("В процессе создания рабочих папок возникла ошибка."),
                    QStringLiteral("%1 \"%2\" %3")
                        .arg(QStringLiteral("При создании папки"), folder,
                             QStringLiteral("возникла ошибка. Журналирование событий невозможно.")));
        return;
    }

    if (openForAppending(filePath)) {
        stream.setDevice(&logFile);
        stream.setCodec("UTF-8");
        on_logginMessage(0, QStringLiteral("=== Дравек Про запущен ==="));
        return;
    }

    // Nothing listens to the log yet, so the user learns of it only here.
    const QString failure =
        QStringLiteral("Не удалось открыть на запись файл журнала событий: %1. Журналирование событий невозможно.")
            .arg(filePath);
    on_logginMessage(2, failure);
    showFailure(failure, QString());
}

// Only a regular file: an append to a named pipe waits for a reader, and
// would hold the start for good. Opened without waiting, then checked, as the
// path may have become a pipe meanwhile.
bool DRVPEventLogger::openForAppending(const QString& filePath)
{
    const QByteArray name = QFile::encodeName(filePath);
    struct stat info = {};
    if (::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return false;
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
        || !logFile.open(fd, QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

void DRVPEventLogger::closeLog()
{
    on_logginMessage(0, QStringLiteral("=x= Дравек Про закрыт =x="));
    QMutexLocker locked(&fileLock);
    logFile.close();
}

void DRVPEventLogger::on_logginMessage(quint8 type, const QString& msg)
{
    write(type, msg, nullptr);
}

// Such a line must outlive a power cut that comes next. The sync runs outside
// the file's lock, so the GUI thread's lines never wait for the disk, and on a
// descriptor of its own, which closeLog cannot close under it. Syncing the
// file covers every line written before, this one included.
bool DRVPEventLogger::writeNow(quint8 type, const QString& msg)
{
    int syncHandle = -1;
    if (!write(type, msg, &syncHandle))
        return false;
    const bool synced = ::fdatasync(syncHandle) == 0;
    ::close(syncHandle);
    return synced;
}

bool DRVPEventLogger::write(quint8 type, const QString& msg, int* syncHandle)
{
    const QString head = QStringLiteral("%1 [%2] - ")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")),
                                  levelNames.value(type, QStringLiteral("None")));
    bool written = false;
    {
        QMutexLocker locked(&fileLock);
        if (logFile.isOpen()) {
            // A failed stream writes nothing more, so one refused line would
            // lose all later ones; what the file kept back of it goes first.
            stream.resetStatus();
            stream << head << msg << "\r\n";
            stream.flush();
            written = stream.status() == QTextStream::Ok;
            if (written && syncHandle) {
                *syncHandle = ::fcntl(logFile.handle(), F_DUPFD_CLOEXEC, 0);
                written = *syncHandle >= 0;
            }
        }
    }
    emit newLogMessage(QStringLiteral("<span style=\"color:#%1;\">%2</span>")
                           .arg(levelColours.value(type, QStringLiteral("ffffff")), head + htmlText(msg)));
    return written;
}

QString DRVPEventLogger::htmlText(const QString& msg)
{
    // Harmless whatever its source: bold text, and a link whose text is its
    // own target, so that it can show nothing but where it leads. Never
    // destroyed: the worker threads log through writeNow up to the end of the
    // process.
    static const QRegularExpression& markup = *new QRegularExpression(
        QStringLiteral(R"re(<b>([^<>]*)</b>|<a href="(?![A-Za-z][A-Za-z0-9+.\-]*:)([^"<>]+)">\2</a>)re"));
    QString html;
    int done = 0;
    QRegularExpressionMatchIterator found = markup.globalMatch(msg);
    while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        html += msg.mid(done, match.capturedStart() - done).toHtmlEscaped();
        if (match.capturedStart(1) >= 0)
            html += QStringLiteral("<b>%1</b>").arg(match.captured(1).toHtmlEscaped());
        else
            html += QStringLiteral("<a href=\"%1\">%1</a>").arg(match.captured(2).toHtmlEscaped());
        done = match.capturedEnd();
    }
    return html + msg.mid(done).toHtmlEscaped();
}

void DRVPEventLogger::showFailure(const QString& text, const QString& informativeText)
{
    drvpMessageBox box;
    box.setText(text);
    box.setInformativeText(informativeText);
    box.exec();
}
