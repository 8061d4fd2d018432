#include "BrandPictures.h"

#include "Palette.h"
#include "Shapes.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

using namespace Shapes;

namespace {

const QString productName = QStringLiteral("Дравек Про");

// The emblem in a 64 x 64 box: a blue tile with a speed dial, the tachograph's
// face, and for the full form a card in front of it. Small sizes get fewer ticks.
void emblem(QPainter &p, bool shortForm, bool small)
{
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, Ink::LightBlue);
    tile.setColorAt(1, Ink::DeepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 62, 62), 13, 13);

    const QPointF c = shortForm ? QPointF(32, 35) : QPointF(27, 29);
    const qreal r = shortForm ? 22 : 19;
    p.setPen(roundPen(Qt::white, small ? 6 : 4.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), -30 * 16, 240 * 16);
    if (!small) {
        p.setPen(roundPen(Qt::white, 2.5));
        for (int deg = 210; deg >= -30; deg -= 40) {
            const qreal a = qDegreesToRadians(qreal(deg));
            const QPointF dir(std::cos(a), -std::sin(a));
            p.drawLine(c + dir * (r - 5), c + dir * (r - 9));
        }
    }
    const qreal needle = qDegreesToRadians(50.0);
    p.setPen(roundPen(Ink::Amber, small ? 6 : 4.5));
    p.drawLine(c, c + QPointF(std::cos(needle), -std::sin(needle)) * (r - 6));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, small ? 5 : 4, small ? 5 : 4);

    if (!shortForm) {
        p.setPen(QPen(Ink::DeepBlue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(29, 37, 31, 22), 3, 3);
        card(p, QRectF(30, 38, 29, 20), Ink::Paper);
    }
}

void logo(QPainter &p)
{
    // Shown at 48 x 26 from this 96 x 52 drawing.
    p.save();
    p.scale(52.0 / 64, 52.0 / 64);
    emblem(p, false, false);
    p.restore();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(27);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(53, 0, 43, 52), Qt::AlignCenter, QStringLiteral("ДП"));
}

void splash(QPainter &p)
{
    QLinearGradient back(0, 0, 0, 300);
    back.setColorAt(0, QColor(0x3A, 0x3A, 0x3A));
    back.setColorAt(1, QColor(0x22, 0x22, 0x22));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRect(QRectF(0, 0, 480, 300));
    p.save();
    p.translate(40, 62);
    p.scale(2, 2);
    emblem(p, false, false);
    p.restore();

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setBold(true);
    title.setPixelSize(36);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(190, 80, 280, 60), Qt::AlignLeft | Qt::AlignVCenter, productName);
    p.setPen(QPen(Ink::Blue, 3));
    p.drawLine(QPointF(192, 150), QPointF(440, 150));
    QFont version(title);
    version.setBold(false);
    version.setPixelSize(18);
    p.setFont(version);
    p.setPen(Ink::Grey);
    p.drawText(QRectF(192, 158, 260, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("карты тахографов"));

    // The start-up writes its black messages on this light strip.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0xE8, 0xE8));
    p.drawRect(QRectF(0, 256, 480, 44));
    p.setBrush(Ink::Blue);
    p.drawRect(QRectF(0, 253, 480, 3));
}

} // namespace

QImage emblemImage(int size, bool shortForm)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    emblem(p, shortForm || size <= 24, size <= 24);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QVector<Picture> brandPictures()
{
    return {
        {QStringLiteral("imgs/logo.png"), {96, 52}, logo, false},
        {QStringLiteral("imgs/splash.png"), {480, 300}, splash, false},
    };
}
