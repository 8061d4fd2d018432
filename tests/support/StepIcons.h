#pragma once

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>

// The state (0 to 3) of the step picture an icon or a step label shows, or -1.
inline int iconState(const QIcon& icon, const QString& kind)
{
    const QImage shown = icon.pixmap(16, 16).toImage();
    for (int state = 0; state < 4; ++state) {
        if (QIcon(QStringLiteral(":/imgs/step_%1%2.png").arg(kind).arg(state)).pixmap(16, 16).toImage() == shown)
            return state;
    }
    return -1;
}

inline int stepState(const QLabel* label, const QString& kind)
{
    return label ? iconState(QIcon(label->pixmap(Qt::ReturnByValue)), kind) : -1;
}
