#pragma once

#include <QString>
#include <QVector>

class QImage;

// Writes one Windows icon file holding every given image (each at most
// 256 x 256). Qt's ico plugin encodes each image; this joins them into one
// icon directory, which the plugin alone cannot do.
bool writeIcoFile(const QString &file, const QVector<QImage> &images);
