#include "tools/iconbench/RowClock.h"

#include "tests/support/StepIcons.h"

#include <QTableWidget>

#include <chrono>

double monotonicMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

RowClock::RowClock(QTableWidget *table, const QString &reader) : m_table(table), m_reader(reader)
{
    QAbstractItemModel *model = table->model();
    connect(model, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation orientation) {
        const int at = row();
        const QTableWidgetItem *header = at < 0 ? nullptr : m_table->verticalHeaderItem(at);
        if (orientation == Qt::Vertical && header)
            icons.append({monotonicMs(), iconState(header->icon(), QStringLiteral("card"))});
    });
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
        const int at = row();
        const QTableWidgetItem *number = at < 0 ? nullptr : m_table->item(at, 1);
        if (number && !number->text().isEmpty() && from.row() <= at && at <= to.row() && from.column() <= 1
            && 1 <= to.column())
            numbersShown << monotonicMs();
    });
}

int RowClock::row() const
{
    const QList<QTableWidgetItem *> found = m_table->findItems(m_reader, Qt::MatchExactly);
    return found.isEmpty() ? -1 : found.first()->row();
}
