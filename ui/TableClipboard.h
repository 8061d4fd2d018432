#pragma once

#include <QString>

class QTableWidget;

// Cell texts as the clipboard takes them: a tab after each cell that is not
// in the table's last column, CR LF after each row.
QString selectedCellsText(const QTableWidget &table);
QString allCellsText(const QTableWidget &table);
// Puts `text` on the clipboard as UTF-8 "text/plain".
void copyTextToClipboard(const QString &text);
