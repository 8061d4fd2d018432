#pragma once

#include <QString>

// One step of the command check: what was sent and how the card answered.
struct CmdCheckRow
{
    QString step;
    QString pcscText;
    QString apduText;
    QString time;
    quint8 failed = 0;
    QString message;
};
