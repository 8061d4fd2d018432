#include "platform/spreadsheet/SpreadsheetSession.h"

#include "platform/SystemErrorText.h"
#include "platform/spreadsheet/XlsxFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>

namespace {

QString fileStem(const WorkbookData &book)
{
    QString stem = book.sheets.isEmpty() ? QStringLiteral("Экспорт") : book.sheets.first().name;
    // Letters of any script stay; only what no file name may hold goes,
    // Windows' reserved characters included, as the files travel there.
    static const QRegularExpression forbidden(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f\\x7f]"));
    stem.replace(forbidden, QStringLiteral("_"));
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
        errno = 0;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        const int systemError = errno;
        if (file.exists())
            continue;
        error = QStringLiteral("Не удалось создать файл %1: %2")
                    .arg(file.fileName(), systemErrorText(systemError, file.errorString()));
        return QString();
    }
    error = QStringLiteral("Не удалось подобрать свободное имя файла в папке %1.").arg(folder);
    return QString();
}

} // namespace

bool SpreadsheetSession::writeBooks()
{
    for (WorkbookData &book : books) {
        if (book.written)
            continue;
        const QString path = claimFile(folder, fileStem(book), lastError);
        if (path.isEmpty() || !writeXlsxFile(book, path, lastError))
            return false;
        book.written = true;
        writtenFiles << path;
    }
    return true;
}
