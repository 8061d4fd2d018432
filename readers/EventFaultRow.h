#pragma once

#include <QDateTime>
#include <QString>

// One event or fault recorded on a card.
struct EventFaultRow
{
    QString kind;
    quint8 type = 0;
    QString text;
    QDateTime begin;
    QDateTime end;
    quint8 flagged = 0;
};
