#pragma once

#include <QByteArray>
#include <QtGlobal>

// One elementary file of the card and where it lives: the master file or the
// tachograph application.
struct CardFile
{
    quint16 fid = 0;
    bool inApplication = true;
    QByteArray data;
};
