#include "ui/TableClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTableWidget>

namespace {

QString rangeText(const QTableWidget &table, int top, int bottom, int left, int right)
{
    QString text;
    const int lastColumn = table.columnCount() - 1;
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c) {
            const QTableWidgetItem *item = table.item(r, c);
            if (item)
                text += item->data(Qt::DisplayRole).toString();
            if (c != lastColumn)
                text += QLatin1Char('\t');
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

QString selectedCellsText(const QTableWidget &table)
{
    QString text;
    for (const QTableWidgetSelectionRange &range : table.selectedRanges())
        text += rangeText(table, range.topRow(), range.bottomRow(), range.leftColumn(), range.rightColumn());
    return text;
}

QString allCellsText(const QTableWidget &table)
{
    return rangeText(table, 0, table.rowCount() - 1, 0, table.columnCount() - 1);
}

void copyTextToClipboard(const QString &text)
{
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), text.toUtf8());
    QApplication::clipboard()->setMimeData(data);
}
