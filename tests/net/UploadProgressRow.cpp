#include "UploadProgressRow.h"

#include <QImage>
#include <QPixmap>
#include <QVariant>

UploadProgressRow::UploadProgressRow()
{
    QVector<QString> paths;
    for (int state = 0; state < 4; ++state) {
        const QString path = pictures.filePath(QString("state%1.png").arg(state));
        QImage image(state + 1, 1, QImage::Format_ARGB32);
        image.fill(Qt::black);
        image.save(path);
        paths.append(path);
    }
    QVector<QLabel*> labelList;
    for (QLabel& label : labels)
        labelList.append(&label);
    progress.init(labelList, QVector<QVector<QString>>(int(labels.size()), paths), &messageLabel);
    progress.reset(QString(), connectStep);
}

int UploadProgressRow::state(int step) const
{
    const QPixmap picture = labels.at(size_t(step)).property("pixmap").value<QPixmap>();
    return picture.isNull() ? -1 : picture.width() - 1;
}
