#ifndef DRVP_PROGRESSSTEP_H
#define DRVP_PROGRESSSTEP_H

#include <QString>
#include <QVector>

class QLabel;

// One step of a progress row: its state, the label showing it, and the
// picture for each state (index = state; an empty path shows no picture).
struct ProgressStep
{
    quint8 state = 0;
    QLabel* icon = nullptr;
    QVector<QString> iconPaths;
};

#endif
