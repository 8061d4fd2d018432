#pragma once

#include "platform/spreadsheet/WorkbookData.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What one application object and its sub-objects share: the export folder,
// the workbooks in memory and the outcome of the last write.
struct SpreadsheetSession
{
    QString folder;
    QVector<WorkbookData> books;
    QStringList writtenFiles;
    QString lastError;

    // Writes every workbook not yet written; false on the first failure.
    bool writeBooks();
};
