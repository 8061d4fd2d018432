#pragma once

#include <QSize>
#include <QString>
#include <QVector>
#include <functional>

class QImage;
class QPainter;

// One picture of the resource bundle: its path under resources/, its size at
// 100 % and how to draw it in those logical pixels.
struct Picture {
    QString path;
    QSize size;
    std::function<void(QPainter &)> draw;
    bool hiDpi = true; // also written as "<name>@2x.png" for 200 % screens
};

QImage renderPicture(const Picture &picture, qreal scale);
bool writePicture(const QString &root, const Picture &picture);
