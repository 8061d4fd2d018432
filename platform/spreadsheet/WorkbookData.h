#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

// The cells of one sheet as the export wrote them, keyed by (row, column),
// both counted from 1 as the spreadsheet counts them.
struct SheetData
{
    QString name;
    QMap<QPair<int, int>, QString> cells;
};

struct WorkbookData
{
    QVector<SheetData> sheets;
    bool written = false;
};
