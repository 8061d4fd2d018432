#include "Shapes.h"

#include "Palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace Shapes {

QPen roundPen(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void card(QPainter &p, const QRectF &box, const QColor &body)
{
    const qreal u = box.height() / 10;
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(box, u, u);
    p.setBrush(Ink::Amber);
    p.drawRoundedRect(QRectF(box.left() + 1.2 * u, box.top() + 2.6 * u, 2.8 * u, 2.3 * u), 0.4 * u, 0.4 * u);
    p.setPen(roundPen(body.darker(160), 0.45 * u));
    p.drawLine(QPointF(box.left() + 1.2 * u, box.top() + 3.75 * u), QPointF(box.left() + 4 * u, box.top() + 3.75 * u));
    p.setPen(roundPen(QColor(255, 255, 255, 200), 0.6 * u));
    const qreal x = box.left() + 5.4 * u;
    p.drawLine(QPointF(x, box.top() + 3 * u), QPointF(box.right() - 1.2 * u, box.top() + 3 * u));
    p.drawLine(QPointF(x, box.top() + 4.8 * u), QPointF(box.right() - 2.8 * u, box.top() + 4.8 * u));
    p.drawLine(QPointF(box.left() + 1.2 * u, box.top() + 7.6 * u), QPointF(box.right() - 1.2 * u, box.top() + 7.6 * u));
}

void padlock(QPainter &p, const QRectF &box, bool open)
{
    const qreal w = box.width();
    const QRectF body(box.left(), box.top() + 0.45 * box.height(), w, 0.55 * box.height());
    const qreal lift = open ? 0.16 * box.height() : 0;
    const qreal r = 0.28 * w;
    const QPointF c(box.center().x(), box.top() + r + 0.06 * w);
    p.setPen(roundPen(Ink::Grey, 0.13 * w));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(c.x() - r, body.top() + 0.05 * w);
    shackle.lineTo(c.x() - r, c.y());
    shackle.arcTo(QRectF(c.x() - r, c.y() - r - lift, 2 * r, 2 * r), 180, -180);
    shackle.lineTo(c.x() + r, open ? c.y() - lift + 0.05 * w : body.top() + 0.05 * w);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Amber);
    p.drawRoundedRect(body, 0.1 * w, 0.1 * w);
    p.setBrush(Ink::Dark);
    const QPointF key(body.center().x(), body.top() + 0.4 * body.height());
    p.drawEllipse(key, 0.09 * w, 0.09 * w);
    p.drawRect(QRectF(key.x() - 0.04 * w, key.y(), 0.08 * w, 0.3 * body.height()));
}

void sheet(QPainter &p, const QRectF &box, const QColor &paper)
{
    const qreal fold = box.width() * 0.3;
    QPainterPath page;
    page.moveTo(box.topLeft());
    page.lineTo(box.right() - fold, box.top());
    page.lineTo(box.right(), box.top() + fold);
    page.lineTo(box.bottomRight());
    page.lineTo(box.bottomLeft());
    page.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawPath(page);
    p.setBrush(paper.darker(135));
    p.drawPolygon(QPolygonF({QPointF(box.right() - fold, box.top()), QPointF(box.right() - fold, box.top() + fold),
                             QPointF(box.right(), box.top() + fold)}));
}

void checkMark(QPainter &p, const QRectF &box, const QColor &colour, qreal width)
{
    p.setPen(roundPen(colour, width));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(box.left(), box.top() + 0.55 * box.height()),
                              QPointF(box.left() + 0.36 * box.width(), box.bottom()),
                              QPointF(box.right(), box.top())}));
}

void crossBadge(QPainter &p, const QPointF &centre, qreal radius, const QColor &fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
    const qreal d = radius * 0.42;
    p.setPen(roundPen(Qt::white, radius * 0.32));
    p.drawLine(centre + QPointF(-d, -d), centre + QPointF(d, d));
    p.drawLine(centre + QPointF(d, -d), centre + QPointF(-d, d));
}

void arrowHead(QPainter &p, const QPointF &tip, qreal angleDegrees, qreal size, const QColor &colour)
{
    const qreal a = qDegreesToRadians(angleDegrees);
    const QPointF back(-std::cos(a) * size, std::sin(a) * size);
    const QPointF side(std::sin(a) * size * 0.6, std::cos(a) * size * 0.6);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({tip, tip + back + side, tip + back - side}));
}

} // namespace Shapes
