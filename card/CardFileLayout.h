#pragma once

#include "card/CardFieldLayout.h"

#include <QVector>

// One variant of one elementary file. An empty field list means the file is
// read and stored but not decoded.
struct CardFileLayout
{
    quint16 minSize = 0;
    quint16 maxSize = 0;
    QVector<CardFieldLayout> fields;
};
