#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class QTableWidget;

// The texts of a table as it stood when an export was asked for. Exports
// write from it, never from the live table: the card shown can change while
// a save dialog or the progress of a long export runs its event loop.
struct TableSnapshot
{
    QStringList headers;
    // A cell without an item stays empty (no text, not even an empty one).
    QVector<QVector<std::optional<QString>>> rows;

    static TableSnapshot of(const QTableWidget &table);
};
