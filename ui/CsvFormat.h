#pragma once

#include <QString>

struct TableSnapshot;

// The CSV lines of a table, each ended by CR LF: the header line with the
// column titles as they are, unquoted; a row line with each present cell
// quoted (a missing cell gives neither text nor separator).
QString csvHeaderLine(const TableSnapshot &table);
QString csvRowLine(const TableSnapshot &table, int row);
// One quoted cell. A text a spreadsheet would take for a formula (starting
// with "=", "+", "-", "@", a tab or CR, and not a plain number) gets a
// leading apostrophe, so card and server texts stay text.
QString csvCell(const QString &text);
// The chosen name with ".csv" appended unless it already ends in .csv in
// any case.
QString csvFileName(const QString &chosen);
