#include "ButtonPictures.h"

#include "Palette.h"
#include "Shapes.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

using namespace Shapes;

namespace {

void upload(QPainter &p)
{
    // A cloud with an arrow rising into it.
    QPainterPath cloud;
    cloud.setFillRule(Qt::WindingFill);
    cloud.addEllipse(QRectF(6, 24, 22, 22));
    cloud.addEllipse(QRectF(17, 12, 28, 28));
    cloud.addEllipse(QRectF(36, 22, 22, 22));
    cloud.addRoundedRect(QRectF(6, 32, 52, 14), 7, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Paper);
    p.drawPath(cloud.simplified());
    p.setPen(roundPen(Ink::Dark, 12));
    p.drawLine(QPointF(32, 58), QPointF(32, 34));
    p.setPen(roundPen(Ink::Blue, 7));
    p.drawLine(QPointF(32, 58), QPointF(32, 36));
    p.setPen(QPen(Ink::Dark, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Ink::Blue);
    p.drawPolygon(QPolygonF({QPointF(20, 38), QPointF(32, 24), QPointF(44, 38)}));
}

void readCard(QPainter &p)
{
    // A card going down into a reader.
    p.save();
    p.translate(32, 26);
    p.rotate(-90);
    card(p, QRectF(-22, -15, 40, 30), Ink::Blue);
    p.restore();
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Grey);
    p.drawRoundedRect(QRectF(4, 38, 56, 22), 4, 4);
    p.setBrush(Ink::Dark);
    p.drawRoundedRect(QRectF(12, 42, 40, 4), 2, 2);
    p.setBrush(Ink::Green);
    p.drawEllipse(QPointF(52, 53), 2.6, 2.6);
    p.setBrush(Ink::Grey);
    p.drawRect(QRectF(15, 38, 34, 4));
    p.setPen(roundPen(Ink::Green, 4.5));
    p.drawLine(QPointF(55, 6), QPointF(55, 24));
    arrowHead(p, QPointF(55, 32), -90, 10, Ink::Green);
}

// A round badge in the lower right corner, for the pictures that share a base.
void badge(QPainter &p, const QColor &fill)
{
    p.setPen(QPen(Ink::Dark, 2.5));
    p.setBrush(fill);
    p.drawEllipse(QPointF(47, 47), 15, 15);
}

void unblock(QPainter &p)
{
    // Automatic unblock: an open padlock with a circling arrow.
    padlock(p, QRectF(4, 4, 40, 50), true);
    badge(p, Ink::Blue);
    p.setPen(roundPen(Qt::white, 3.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(39, 39, 16, 16), 100 * 16, 280 * 16);
    arrowHead(p, QPointF(47.5, 37.5), 10, 7.5, Qt::white);
}

void manualUnblock(QPainter &p)
{
    // Manual unblock: an open padlock with a keypad.
    padlock(p, QRectF(4, 4, 40, 50), true);
    p.setPen(QPen(Ink::Dark, 2.5));
    p.setBrush(Ink::Blue);
    p.drawRoundedRect(QRectF(32, 32, 30, 30), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(36.5 + col * 8, 36.5 + row * 8, 5, 5), 1, 1);
}

void checking(QPainter &p)
{
    // Diagnosis: a card under a magnifying glass.
    card(p, QRectF(2, 8, 46, 32), Ink::Blue);
    p.setPen(roundPen(Ink::Grey, 8));
    p.drawLine(QPointF(49, 49), QPointF(59, 59));
    p.setPen(QPen(Ink::Grey, 5));
    p.setBrush(QColor(0x30, 0x30, 0x30, 210));
    p.drawEllipse(QPointF(38, 38), 15, 15);
    checkMark(p, QRectF(31, 32, 14, 10), Ink::Green, 4.5);
}

void cancel(QPainter &p)
{
    crossBadge(p, QPointF(32, 32), 27, Ink::Red);
}

void config(QPainter &p)
{
    // A gear: eight teeth around a ring.
    QPainterPath gear;
    gear.setFillRule(Qt::WindingFill);
    const QPointF c(12, 12);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-2.6, -11, 5.2, 6), 1, 1);
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(i * 45);
        gear.addPath(t.map(tooth));
    }
    gear.addEllipse(c, 8, 8);
    QPainterPath hole;
    hole.addEllipse(c, 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Grey);
    p.drawPath(gear.simplified().subtracted(hole));
}

void about(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Blue);
    p.drawEllipse(QPointF(12, 12), 11, 11);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12, 6.8), 2, 2);
    p.drawRoundedRect(QRectF(10.2, 10, 3.6, 9), 1, 1);
}

void refresh(QPainter &p)
{
    // Two arrows chasing each other round a circle.
    const QRectF ring(10, 2, 18, 18);
    p.setPen(roundPen(Ink::Blue, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 30 * 16, 120 * 16);
    p.drawArc(ring, 210 * 16, 120 * 16);
    const QPointF c = ring.center();
    const qreal r = ring.width() / 2;
    auto at = [&](qreal deg) { return c + QPointF(r * std::cos(qDegreesToRadians(deg)), -r * std::sin(qDegreesToRadians(deg))); };
    arrowHead(p, at(150) + QPointF(-1.2, 2.5), -100, 6.5, Ink::Blue);
    arrowHead(p, at(330) + QPointF(1.2, -2.5), 80, 6.5, Ink::Blue);
}

void list(QPainter &p)
{
    sheet(p, QRectF(6, 2, 24, 34), Ink::Paper);
    for (int i = 0; i < 5; ++i) {
        const qreal y = 11 + 5.5 * i;
        p.setPen(Qt::NoPen);
        p.setBrush(Ink::Blue);
        p.drawEllipse(QPointF(11, y), 1.8, 1.8);
        p.setPen(roundPen(QColor(0x66, 0x66, 0x66), 2));
        p.drawLine(QPointF(15, y), QPointF(i % 2 ? 22 : 25, y));
    }
}

} // namespace

QVector<Picture> commandPictures()
{
    return {
        {QStringLiteral("imgs/upload.png"), {64, 64}, upload},
        {QStringLiteral("imgs/read-card.png"), {64, 64}, readCard},
        {QStringLiteral("imgs/unblock.png"), {64, 64}, unblock},
        {QStringLiteral("imgs/checking.png"), {64, 64}, checking},
        {QStringLiteral("imgs/manualunblock.png"), {64, 64}, manualUnblock},
        {QStringLiteral("imgs/cancel.png"), {64, 64}, cancel},
        {QStringLiteral("imgs/config.png"), {24, 24}, config},
        {QStringLiteral("imgs/about.png"), {24, 24}, about},
        {QStringLiteral("imgs/refresh.png"), {36, 22}, refresh},
        {QStringLiteral("imgs/list.png"), {36, 38}, list},
    };
}
