#include "ui/TableSnapshot.h"

#include <QTableWidget>

TableSnapshot TableSnapshot::of(const QTableWidget &table)
{
    TableSnapshot snapshot;
    for (int c = 0; c < table.columnCount(); ++c) {
        const QTableWidgetItem *header = table.horizontalHeaderItem(c);
        snapshot.headers << (header ? header->text() : QString());
    }
    snapshot.rows.reserve(table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r) {
        QVector<std::optional<QString>> row;
        row.reserve(table.columnCount());
        for (int c = 0; c < table.columnCount(); ++c) {
            const QTableWidgetItem *item = table.item(r, c);
            row << (item ? std::optional<QString>(item->text()) : std::nullopt);
        }
        snapshot.rows << row;
    }
    return snapshot;
}
