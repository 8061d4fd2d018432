#pragma once

#include <QString>

struct WorkbookData;

// Writes `book` as an .xlsx file at `path` (which the caller has claimed),
// every value as a text cell. False with `error` set when the file could not
// be written; nothing is left at `path` then.
bool writeXlsxFile(const WorkbookData &book, const QString &path, QString &error);
