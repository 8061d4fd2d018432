#include "Picture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <cstdio>

QImage renderPicture(const Picture &picture, qreal scale)
{
    QImage image(picture.size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    picture.draw(painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

static bool savePng(const QImage &image, const QString &file)
{
    QDir().mkpath(QFileInfo(file).path());
    if (image.save(file, "PNG"))
        return true;
    std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(file));
    return false;
}

bool writePicture(const QString &root, const Picture &picture)
{
    const QString file = root + '/' + picture.path;
    if (!savePng(renderPicture(picture, 1), file))
        return false;
    if (!picture.hiDpi)
        return true;
    QString twice = file;
    twice.insert(twice.lastIndexOf('.'), QStringLiteral("@2x"));
    return savePng(renderPicture(picture, 2), twice);
}
