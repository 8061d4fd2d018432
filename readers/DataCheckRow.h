#pragma once

#include <QString>

// One check of the data a card holds.
struct DataCheckRow
{
    QString control;
    QString value;
    QString time;
    quint8 failed = 0;
    QString message;
};
