#include "platform/spreadsheet/XlsxFile.h"

#include "platform/SystemErrorText.h"
#include "platform/spreadsheet/SheetNames.h"
#include "platform/spreadsheet/WorkbookData.h"

#include <QFile>

#include <xlsxwriter.h>

#include <cerrno>

namespace {

QString libraryError(lxw_error code)
{
    return QString::fromUtf8(lxw_strerror(code));
}

// For these the library leaves the failed file call's errno; its own text
// names only the zip step ("ZIP_ERRNO").
QString closeErrorText(lxw_error code, int systemError)
{
    const bool fromSystem = code == LXW_ERROR_CREATING_XLSX_FILE || code == LXW_ERROR_CREATING_TMPFILE
                            || code == LXW_ERROR_ZIP_FILE_OPERATION;
    return fromSystem ? systemErrorText(systemError, libraryError(code)) : libraryError(code);
}

bool writeSheets(lxw_workbook *workbook, const WorkbookData &book, QString &error)
{
    QStringList names;
    for (const SheetData &sheet : book.sheets)
        names << sheet.name;
    names = validSheetNames(names);
    for (int i = 0; i < book.sheets.size(); ++i) {
        lxw_worksheet *worksheet = workbook_add_worksheet(workbook, names[i].toUtf8().constData());
        if (!worksheet) {
            error = QStringLiteral("Не удалось добавить лист \"%1\".").arg(names[i]);
            return false;
        }
        const auto &cells = book.sheets[i].cells;
        for (auto cell = cells.constBegin(); cell != cells.constEnd(); ++cell) {
            // The library counts rows and columns from 0.
            const lxw_error rc = worksheet_write_string(worksheet, lxw_row_t(cell.key().first - 1),
                                                        lxw_col_t(cell.key().second - 1),
                                                        cell.value().toUtf8().constData(), nullptr);
            if (rc != LXW_NO_ERROR) {
                error = libraryError(rc);
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool writeXlsxFile(const WorkbookData &book, const QString &path, QString &error)
{
    const QByteArray fileName = QFile::encodeName(path);
    lxw_workbook *workbook = workbook_new(fileName.constData());
    if (!workbook) {
        error = QStringLiteral("Не удалось создать книгу %1.").arg(path);
        QFile::remove(path);
        return false;
    }
    const bool filled = writeSheets(workbook, book, error);
    // Closing writes the file and frees the workbook in every case.
    errno = 0;
    const lxw_error rc = workbook_close(workbook);
    const int systemError = errno;
    if (filled && rc != LXW_NO_ERROR)
        error = QStringLiteral("Не удалось записать файл %1: %2").arg(path, closeErrorText(rc, systemError));
    if (!filled || rc != LXW_NO_ERROR) {
        QFile::remove(path);
        return false;
    }
    return true;
}
