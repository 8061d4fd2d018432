#pragma once

#include <QObject>
#include <QString>
#include <QVector>

class QTableWidget;

// Monotonic milliseconds, the clock the virtual card's stamps use.
double monotonicMs();

// When the reader's row changed, as the window shows it: each icon set, and
// each time the card number column was filled.
class RowClock : public QObject
{
public:
    RowClock(QTableWidget *table, const QString &reader);

    struct Change
    {
        double at = 0;
        int icon = -1;
    };
    QVector<Change> icons;
    QVector<double> numbersShown;

private:
    int row() const;

    QTableWidget *m_table = nullptr;
    QString m_reader;
};
