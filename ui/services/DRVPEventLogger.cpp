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

    logPath = filePath;
    if (openForAppending()) {
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
// path may have become a pipe meanwhile. The file open so far is closed only
// once the new one is there.
bool DRVPEventLogger::openForAppending()
{
    const QByteArray name = QFile::encodeName(logPath);
    struct stat info = {};
    if (::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return false;
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    logFile.close();
    if (!logFile.open(fd, QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

// A file removed while open still takes lines, and syncs them, into nothing
// anyone can find: a line is in the log only in the file at the log's path.
// When that is another file or none, the log is opened there again and
// `notice` says why. False when no file could be opened there: the lines go
// on into the old one.
bool DRVPEventLogger::followPath(QString* notice)
{
    struct stat opened = {};
    struct stat named = {};
    const bool found = ::stat(QFile::encodeName(logPath).constData(), &named) == 0;
    if (::fstat(logFile.handle(), &opened) == 0 && found && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino && opened.st_nlink > 0)
        return true;
    if (!openForAppending())
        return false;
    stream.setDevice(&logFile);
    *notice = (found ? QStringLiteral("Файл журнала событий %1 был заменен другим файлом во время работы программы: "
                                      "журнал продолжен в нем.")
                     : QStringLiteral("Файл журнала событий %1 был удален во время работы программы: журнал "
                                      "продолжен в новом файле."))
                  .arg(logPath);
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
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    QString notice;
    bool written = false;
    {
        QMutexLocker locked(&fileLock);
        if (logFile.isOpen()) {
            const bool inPlace = followPath(&notice);
            // A failed stream writes nothing more, so one refused line would
            // lose all later ones; what the file kept back of it goes first.
            stream.resetStatus();
            if (!notice.isEmpty())
                stream << headOf(time, 1) << notice << "\r\n";
            stream << headOf(time, type) << msg << "\r\n";
            stream.flush();
            written = inPlace && stream.status() == QTextStream::Ok;
            if (written && syncHandle) {
                *syncHandle = ::fcntl(logFile.handle(), F_DUPFD_CLOEXEC, 0);
                written = *syncHandle >= 0;
            }
        }
    }
    if (!notice.isEmpty())
        emit newLogMessage(htmlLine(time, 1, notice));
    emit newLogMessage(htmlLine(time, type, msg));
    return written;
}

QString DRVPEventLogger::headOf(const QString& time, quint8 type) const
{
    return QStringLiteral("%1 [%2] - ").arg(time, levelNames.value(type, QStringLiteral("None")));
}

QString DRVPEventLogger::htmlLine(const QString& time, quint8 type, const QString& msg) const
{
    return QStringLiteral("<span style=\"color:#%1;\">%2</span>")
        .arg(levelColours.value(type, QStringLiteral("ffffff")), headOf(time, type) + htmlText(msg));
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
