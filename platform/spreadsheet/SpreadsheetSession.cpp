#include "platform/spreadsheet/SpreadsheetSession.h"

#include "platform/spreadsheet/XlsxFile.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QUrl>

namespace {

QString fileStem(const WorkbookData &book)
{
    QString stem = book.sheets.isEmpty() ? QStringLiteral("Экспорт") : book.sheets.first().name;
    stem.replace(QRegularExpression(QStringLiteral("[^\\w\\- ]")), QStringLiteral("_"));
    return stem.left(64) + QLatin1Char('_')
           + QDateTime::currentDateTime().toString(QStringLiteral("dd-MM-yyyy-hhmmss"));
}

// Creates a new file so that nothing is ever overwritten: a taken name gets
// "_2", "_3", ...
QString claimFile(const QString &folder, const QString &stem, QString &error)
{
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? stem : QStringLiteral("%1_%2").arg(stem).arg(n);
        QFile file(dir.filePath(name + QStringLiteral(".xlsx")));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        if (file.exists())
            continue;
        error = QStringLiteral("Не удалось создать файл %1: %2").arg(file.fileName(), file.errorString());
        return QString();
    }
    error = QStringLiteral("Не удалось подобрать свободное имя файла в папке %1.").arg(folder);
    return QString();
}

} // namespace

bool SpreadsheetSession::folderTakesFiles() const
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("probe-XXXXXX")));
    return probe.open();
}

bool SpreadsheetSession::showBooks()
{
    for (WorkbookData &book : books) {
        if (book.written)
            continue;
        const QString path = claimFile(folder, fileStem(book), lastError);
        if (path.isEmpty() || !writeXlsxFile(book, path, lastError))
            return false;
        book.written = true;
        writtenFiles << path;
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
            lastError = QStringLiteral("Файл %1 сохранён, но открыть его не удалось.").arg(path);
            return false;
        }
    }
    return true;
}
